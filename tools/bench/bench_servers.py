#!/usr/bin/python3
"""The two loopback peers of the download benchmark (run with Debian's /usr/bin/python3).

  bench_servers.py update --ports-file PATH --manifest FILE --file FILE
      the reference update server of tests/peers, unchanged, with the signed manifest served for
      channel "client" and FILE served by its SHA-512. The bytes are put into the server's tables
      directly: its control lines carry at most 4 MiB, far less than the benchmark's file.
  bench_servers.py plain --port-file PATH --file FILE
      the baseline: on every connection, the whole file in one sendall, then the connection closes.
  bench_servers.py lean --port-file PATH --manifest FILE --file FILE
      for comparison only: the same update line protocol (hello, manifest, GET pieces) answered with
      buffered line reads and each piece sent from the file's bytes without copying, to tell the
      launcher's own cost from the reference server's.

Both write their port(s) to the given file once they listen on 127.0.0.1, then serve until killed.
"""
import argparse
import hashlib
import os
import socket
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "peers"))


def write_ports(path, text):
    temporary = path + ".tmp"
    with open(temporary, "w") as f:
        f.write(text + "\n")
    os.replace(temporary, path)


def serve_update(args):
    import update_server

    with open(args.manifest, "rb") as f:
        manifest = f.read()
    with open(args.file, "rb") as f:
        data = f.read()
    with update_server.STATE.lock:
        update_server.STATE.manifests[b"client"] = manifest
        update_server.STATE.files[hashlib.sha512(data).hexdigest()] = data
    sys.argv = [sys.argv[0], "--ports-file", args.ports_file]
    update_server.main()


def serve_plain(args):
    with open(args.file, "rb") as f:
        data = f.read()
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    write_ports(args.port_file, str(server.getsockname()[1]))

    def send_all(conn):
        with conn:
            try:
                conn.sendall(data)
            except OSError:
                pass

    while True:
        conn, _ = server.accept()
        threading.Thread(target=send_all, args=(conn,), daemon=True).start()


def serve_lean(args):
    with open(args.manifest, "rb") as f:
        manifest = f.read()
    with open(args.file, "rb") as f:
        data = f.read()
    files = {hashlib.sha512(data).hexdigest().encode(): memoryview(data)}
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    write_ports(args.port_file, str(server.getsockname()[1]))

    def serve(conn):
        with conn:
            reader = conn.makefile("rb")
            if not reader.readline():
                return
            conn.sendall(b"ZANDOR-UPDATE-OK 1\n")
            for line in reader:
                words = line.split()
                if not words or words[0] == b"BYE":
                    return
                if words[0] == b"MANIFEST":
                    conn.sendall(b"OK %d\n" % len(manifest) + manifest)
                elif words[0] == b"GET" and len(words) == 4 and words[1] in files:
                    whole = files[words[1]]
                    offset, count = int(words[2]), int(words[3])
                    piece = whole[offset : offset + count]
                    header = b"OK %d\n" % len(piece)
                    sent = conn.sendmsg([header, piece])
                    if sent < len(header):
                        conn.sendall(header[sent:])
                        sent = len(header)
                    if sent < len(header) + len(piece):
                        conn.sendall(piece[sent - len(header) :])
                elif words[0] != b"TOKEN":
                    conn.sendall(b"ERR bad request\n")

    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    update = commands.add_parser("update")
    update.add_argument("--ports-file", required=True)
    update.add_argument("--manifest", required=True)
    update.add_argument("--file", required=True)
    plain = commands.add_parser("plain")
    plain.add_argument("--port-file", required=True)
    plain.add_argument("--file", required=True)
    lean = commands.add_parser("lean")
    lean.add_argument("--port-file", required=True)
    lean.add_argument("--manifest", required=True)
    lean.add_argument("--file", required=True)
    args = parser.parse_args()
    if args.command == "update":
        serve_update(args)
    elif args.command == "lean":
        serve_lean(args)
    else:
        serve_plain(args)


if __name__ == "__main__":
    main()
