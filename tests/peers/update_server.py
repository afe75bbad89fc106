#!/usr/bin/python3
"""Reference update server for the tests: speaks the launcher's update line protocol on loopback,
serves one manifest per channel and files by their SHA-512 digest, records every line it receives,
and misbehaves on demand. Written independently of the launcher's code.

Usage: update_server.py --ports-file PATH [--port PORT] [--release DIR]
Writes "<service port> <control port>" to PATH once both listen on 127.0.0.1 (the service on PORT when
given, else on a free port). With --release it serves a release made by scripts/release as it is: DIR's
manifest.txt under the channel it names, and every file of DIR/files/ (each named by its SHA-512).

Control lines (one per connection or several; each gets one answer line starting with "OK"):
  RESET                      forget manifests, files, records and misbehaviour (back to the
                             --release DIR, when one was given)
  MANIFEST <channel> <b64>   serve these bytes as the manifest of channel
  FILE <b64>                 serve these bytes; answers "OK <sha512 hex>"
  HELLO <b64>                send these bytes (give the line end) as the hello answer; without a
                             final LF the server hangs up after them
  MODE <name> [value]        silent | refuse_hello | error_line <text>
                             | answer_line <b64> (sent for MANIFEST, then the server hangs up)
                             | cut_manifest <n> | short_pieces <n> | drop_after <n> | corrupt_byte <n>
                             | pace <ms> (waits that long before each piece: a slow line)
                             | trickle <ms> | trickle_manifest <ms> (sends each piece answer, or
                               the manifest answer, line and payload, one byte every <ms>)
  RECORD                     "OK <b64>" of the lines received since RESET, joined by LF
"""
import argparse
import base64
import hashlib
import os
import socket
import threading
import time

HELLO = b"ZANDOR-UPDATE 1"
HELLO_ANSWER = b"ZANDOR-UPDATE-OK 1\n"
MAX_PIECE = 262144


# What RESET comes back to: the release given with --release, or nothing.
RELEASE = {"manifests": {}, "files": {}}


class Behaviour:
    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        self.manifests = dict(RELEASE["manifests"])
        self.files = dict(RELEASE["files"])
        self.hello_answer = HELLO_ANSWER
        self.mode = {}
        self.received = []


STATE = Behaviour()


def load_release(folder):
    """The manifest and files of a folder written by scripts/release."""
    with open(os.path.join(folder, "manifest.txt"), "rb") as f:
        manifest = f.read()
    channel = None
    for line in manifest.split(b"\n"):
        if line.startswith(b"channel\t"):
            channel = line.split(b"\t", 1)[1].rstrip(b"\r")
            break
    if channel is None:
        raise SystemExit(f"update_server: {folder}/manifest.txt names no channel")
    files = {}
    names = os.path.join(folder, "files")
    for name in os.listdir(names):
        with open(os.path.join(names, name), "rb") as f:
            data = f.read()
        digest = hashlib.sha512(data).hexdigest()
        if digest != name:
            raise SystemExit(f"update_server: {names}/{name} is not named by its SHA-512")
        files[digest] = data
    RELEASE["manifests"] = {channel: manifest}
    RELEASE["files"] = files


def read_line(conn, limit=1 << 22):
    """One line without its LF, or None when the peer closed first. No byte after the LF is taken: what
    is waiting is looked at first and only the line is read (two calls a line, not one a byte)."""
    data = bytearray()
    while True:
        waiting = conn.recv(65536, socket.MSG_PEEK)
        if not waiting:
            return None
        end = waiting.find(b"\n")
        data += conn.recv(len(waiting) if end < 0 else end + 1)
        if data.endswith(b"\n"):
            return None if len(data) - 1 > limit else bytes(data[:-1])
        if len(data) > limit:
            return None


def send_piece(conn, head, body):
    """Sends head then body, copying neither: one call where the socket takes it all."""
    sent = conn.sendmsg([head, body])
    if sent < len(head):
        conn.sendall(head[sent:])
        sent = len(head)
    conn.sendall(body[sent - len(head) :])


def send_answer(conn, answer, trickle_ms):
    """Sends an answer whole, or one byte every trickle_ms milliseconds when that is given."""
    if trickle_ms is None:
        conn.sendall(answer)
        return
    for at in range(len(answer)):
        conn.sendall(answer[at : at + 1])
        time.sleep(trickle_ms / 1000.0)


def record(line):
    with STATE.lock:
        STATE.received.append(line)


def answer_manifest(conn, channel, mode):
    if "error_line" in mode:
        conn.sendall(mode["error_line"].encode() + b"\n")
        return True
    if "answer_line" in mode:
        conn.sendall(mode["answer_line"] + b"\n")
        return False  # no payload follows: hang up
    with STATE.lock:
        manifest = STATE.manifests.get(channel)
    if manifest is None:
        conn.sendall(b"ERR no manifest for channel " + channel + b"\n")
        return True
    if "cut_manifest" in mode:
        conn.sendall(b"OK %d\n" % len(manifest) + manifest[: mode["cut_manifest"]])
        return False  # and hang up
    send_answer(conn, b"OK %d\n" % len(manifest) + manifest, mode.get("trickle_manifest"))
    return True


def answer_get(conn, words, mode, sent_so_far):
    """Serves one GET; gives the file bytes sent, or None to hang up."""
    if len(words) != 4 or not words[2].isdigit() or not words[3].isdigit():
        conn.sendall(b"ERR bad request\n")
        return 0
    digest, offset, count = words[1].decode("ascii", "replace"), int(words[2]), int(words[3])
    with STATE.lock:
        data = STATE.files.get(digest)
    if data is None:
        conn.sendall(b"ERR unknown file\n")
        return 0
    if count < 1 or count > MAX_PIECE or offset > len(data):
        conn.sendall(b"ERR bad range\n")
        return 0
    if "pace" in mode:
        time.sleep(mode["pace"] / 1000.0)
    # A view of the file's bytes: a piece costs no copy unless a fault changes it.
    piece = memoryview(data)[offset : offset + count]
    if "short_pieces" in mode:
        piece = piece[: mode["short_pieces"]]
    if "corrupt_byte" in mode:
        piece = bytearray(piece)
        at = mode["corrupt_byte"] - offset
        if 0 <= at < len(piece):
            piece[at] ^= 0xFF
    if "drop_after" in mode:
        room = mode["drop_after"] - sent_so_far
        if room < len(piece):
            conn.sendall(b"OK %d\n" % len(piece) + bytes(piece[: max(room, 0)]))
            return None
    if mode.get("trickle") is None:
        send_piece(conn, b"OK %d\n" % len(piece), piece)
    else:
        send_answer(conn, b"OK %d\n" % len(piece) + bytes(piece), mode.get("trickle"))
    return len(piece)


def serve_update(conn):
    with STATE.lock:
        mode = dict(STATE.mode)
        hello_answer = STATE.hello_answer
    record(b"CONNECT")
    if "silent" in mode:
        while conn.recv(4096):
            pass
        return
    hello = read_line(conn)
    if hello is None:
        return
    record(hello)
    if "refuse_hello" in mode:
        return
    conn.sendall(hello_answer)
    # An answer without a line end is a hello cut short: hang up.
    if hello.rstrip(b"\r") != HELLO or not hello_answer.endswith(b"\n"):
        return
    file_bytes_sent = 0
    while True:
        line = read_line(conn)
        if line is None:
            return
        record(line)
        words = line.rstrip(b"\r").split(b" ")
        if words[0] == b"TOKEN":
            continue
        if words[0] == b"BYE":
            return
        if words[0] == b"MANIFEST" and len(words) == 2:
            if not answer_manifest(conn, words[1], mode):
                return
        elif words[0] == b"GET":
            sent = answer_get(conn, words, mode, file_bytes_sent)
            if sent is None:
                return
            file_bytes_sent += sent
        else:
            conn.sendall(b"ERR unknown request\n")


def control(line):
    words = line.decode("utf-8", "replace").split(" ", 2)
    command = words[0]
    with STATE.lock:
        if command == "RESET":
            STATE.reset()
            return "OK"
        if command == "MANIFEST" and len(words) == 3:
            STATE.manifests[words[1].encode()] = base64.b64decode(words[2])
            return "OK"
        if command == "FILE" and len(words) == 2:
            data = base64.b64decode(words[1])
            digest = hashlib.sha512(data).hexdigest()
            STATE.files[digest] = data
            return "OK " + digest
        if command == "HELLO" and len(words) == 2:
            STATE.hello_answer = base64.b64decode(words[1])
            return "OK"
        if command == "MODE" and len(words) >= 2:
            name = words[1]
            value = words[2] if len(words) == 3 else ""
            if name in ("cut_manifest", "short_pieces", "drop_after", "corrupt_byte", "pace", "trickle",
                        "trickle_manifest"):
                STATE.mode[name] = int(value)
            elif name == "answer_line":
                STATE.mode[name] = base64.b64decode(value)
            else:
                STATE.mode[name] = value
            return "OK"
        if command == "RECORD":
            return "OK " + base64.b64encode(b"\n".join(STATE.received)).decode()
    return "ERR unknown control command"


def serve_control(conn):
    while True:
        line = read_line(conn)
        if line is None:
            return
        conn.sendall(control(line.rstrip(b"\r")).encode() + b"\n")


def handle(conn, serve):
    try:
        with conn:
            serve(conn)
    except OSError:
        pass


def listen(serve, port=0):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", port))
    server.listen(16)

    def accept_loop():
        while True:
            conn, _ = server.accept()
            threading.Thread(target=handle, args=(conn, serve), daemon=True).start()

    threading.Thread(target=accept_loop, daemon=True).start()
    return server.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ports-file", required=True)
    parser.add_argument("--port", type=int, default=0, help="the service port (default: a free one)")
    parser.add_argument("--release", help="a folder written by scripts/release, served as it is")
    args = parser.parse_args()
    if args.release:
        load_release(args.release)
        STATE.reset()
    service_port = listen(serve_update, args.port)
    control_port = listen(serve_control)
    temporary = args.ports_file + ".tmp"
    with open(temporary, "w") as f:
        f.write(f"{service_port} {control_port}\n")
    os.replace(temporary, args.ports_file)
    threading.Event().wait()


if __name__ == "__main__":
    main()
