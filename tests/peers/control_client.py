#!/usr/bin/python3
"""The Python client of the reference servers' control ports (update server, account server, fault proxy),
shared by the run scripts, the demo, the soak and the benchmarks. The C++ tests speak the same one-line
exchange through their own helper (tests/support/loopback_control.cpp).

As a module: control(port, lines) sends each line, reads its one answer line and gives the answers;
an answer that does not start with "OK" ends the program with the line that was refused, unless the
line starts with one of the prefixes in `free` (requests whose answer is a figure, such as COUNT).

As a program: control_client.py PORT [LINE...] sends the lines given, or those read from standard
input when none are, and prints each answer.
"""
import socket
import sys


def control(port, lines, who="control", timeout=30, free=()):
    answers = []
    with socket.create_connection(("127.0.0.1", int(port)), timeout=timeout) as conn:
        reader = conn.makefile("rb")
        for line in lines:
            conn.sendall(line.encode() + b"\n")
            answer = reader.readline().decode().strip()
            if not answer.startswith("OK") and not (free and line.startswith(tuple(free))):
                raise SystemExit("%s: %s... answered %r" % (who, line[:40], answer))
            answers.append(answer)
    return answers


def main(argv):
    if not argv:
        print("usage: control_client.py PORT [LINE...]", file=sys.stderr)
        return 2
    lines = argv[1:] or [line.rstrip("\n") for line in sys.stdin if line.strip()]
    for answer in control(argv[0], lines, who="control_client"):
        print(answer)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
