#!/usr/bin/python3
"""The end-to-end tests' hands and eyes on the X display: a loopback port that takes one command per
line, does it with xdotool or ImageMagick's import, and answers "OK" (or "ERR <why>") once it is done.

  CLICK X Y          move the pointer to screen point (X, Y) and press and release the left button
  KEY NAME           move nothing, press and release a key (xdotool key names: Return, Tab, space...)
  POINT X Y          move the pointer to (X, Y) (the keyboard follows the pointer on a bare X server)
  SHOT X Y W H FILE  save that part of the screen as a PNG file

Run: input_agent.py --port-file FILE (writes the port once it listens)."""
import argparse
import os
import socket
import subprocess
import threading


def run(*command):
    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=20)
    if done.returncode != 0:
        return "ERR " + done.stderr.decode(errors="replace").strip().replace("\n", " ")[:200]
    return "OK"


def handle(words):
    if len(words) == 3 and words[0] == "CLICK":
        return run("xdotool", "mousemove", words[1], words[2], "sleep", "0.15", "click", "1")
    if len(words) == 3 and words[0] == "POINT":
        return run("xdotool", "mousemove", words[1], words[2], "sleep", "0.15")
    if len(words) == 2 and words[0] == "KEY":
        return run("xdotool", "key", "--clearmodifiers", words[1])
    if len(words) == 6 and words[0] == "SHOT":
        x, y, w, h, path = words[1:]
        os.makedirs(os.path.dirname(path), exist_ok=True)
        return run("import", "-window", "root", "-crop", "%sx%s+%s+%s" % (w, h, x, y), "+repage", path)
    return "ERR unknown command"


def serve(conn):
    with conn:
        reader = conn.makefile("rb")
        for raw in reader:
            try:
                answer = handle(raw.decode("utf-8", "replace").split())
            except (OSError, subprocess.SubprocessError) as problem:
                answer = "ERR " + str(problem)
            conn.sendall(answer.encode() + b"\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    temporary = args.port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write("%d\n" % listener.getsockname()[1])
    os.replace(temporary, args.port_file)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
