#!/usr/bin/python3
"""Reference account server for the tests: the secure link with a test hello key, scripted answers to
the account requests, a record of every opened request, and misbehaviour on demand.

Run: account_server.py --port-file FILE --key-file SEED_FILE [--link-port PORT]
It listens on two loopback ports (free ones, or PORT for the link) and writes "LINK_PORT CONTROL_PORT"
to FILE once ready.

The control port takes lines, each answered by one line:
  PUSH BEHAVIOUR [ANSWER_HEX]   queue a behaviour (and an answer; "-" is empty) for the next connection
  ANSWER WORD ANSWER_HEX        queue an answer for the next request whose first field is WORD; such
                                answers are given in order, before the default for WORD
  DEFAULT WORD ANSWER_HEX       the answer to requests whose first field is WORD, when none is queued
  DELAY WORD MS                 answer requests whose first field is WORD only MS milliseconds after
                                they were opened (they are in the record at once)
  RESET                         clear the queues, the defaults, the delays and the record
  COUNT                         number of link connections so far
  LAST [K]                      the K-th last connection (1 = last): "PUBLIC NONCE REQUEST_HEX"
                                (REQUEST_HEX is "-" when no request was opened)
Behaviours are listed in account_link.BEHAVIOURS.
"""

import argparse
import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import account_link  # noqa: E402


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.queue = []
        self.defaults = {}
        self.word_queues = {}
        self.delays = {}
        self.record = []

    def next_script(self):
        with self.lock:
            if self.queue:
                return self.queue.pop(0)
        return ("ok", None)

    def delay(self, request):
        with self.lock:
            return self.delays.get(request_word(request), 0)

    def default_answer(self, request):
        word = request_word(request)
        with self.lock:
            queued = self.word_queues.get(word)
            if queued:
                return queued.pop(0)
            return self.defaults.get(word, b"OK")


def request_word(request):
    return request.split(b"\t", 1)[0].decode("latin-1")


def read_line(conn, limit=8192):
    """One line without CR and LF; None when the peer closes first."""
    data = bytearray()
    while True:
        c = conn.recv(1)
        if not c:
            return None
        if c == b"\n":
            return bytes(data)
        if c != b"\r":
            data += c
        if len(data) > limit:
            return None


def serve_link(conn, state, signing_key):
    behaviour, answer = state.next_script()
    entry = {"public": "-", "nonce": "-", "request": None}
    with state.lock:
        state.record.append(entry)
    try:
        conn.settimeout(30)
        hello = read_line(conn)
        if hello is None:
            return
        parts = hello.split(b"\t")
        if len(parts) != 3 or parts[0] != b"SECURE1":
            return
        entry["public"] = parts[1].decode("latin-1")
        entry["nonce"] = parts[2].decode("latin-1")
        if behaviour == "no_hello":
            return
        session = account_link.ServerSession(signing_key, bytes.fromhex(entry["public"]),
                                              bytes.fromhex(entry["nonce"]))
        conn.sendall(session.hello_line(behaviour))
        line = read_line(conn)
        if line is None or session.keys is None:
            return
        request = session.open_request(line)
        if request is None:
            return
        entry["request"] = request
        if behaviour == "no_answer":
            return
        if behaviour.startswith("slow:"):
            time.sleep(int(behaviour[len("slow:"):]) / 1000.0)
        time.sleep(state.delay(request) / 1000.0)
        if answer is None:
            answer = state.default_answer(request)
        conn.sendall(session.answer_line(behaviour, answer))
    except OSError:
        pass
    finally:
        try:
            conn.close()
        except OSError:
            pass


def serve_control(conn, state):
    reader = conn.makefile("rb")
    try:
        for raw in reader:
            words = raw.decode("latin-1").split()
            reply = "ERROR"
            if not words:
                pass
            elif words[0] == "PUSH" and len(words) in (2, 3) and account_link.known_behaviour(words[1]):
                answer = None
                if len(words) == 3:
                    answer = b"" if words[2] == "-" else bytes.fromhex(words[2])
                with state.lock:
                    state.queue.append((words[1], answer))
                reply = "OK"
            elif words[0] == "DEFAULT" and len(words) == 3:
                with state.lock:
                    state.defaults[words[1]] = b"" if words[2] == "-" else bytes.fromhex(words[2])
                reply = "OK"
            elif words[0] == "ANSWER" and len(words) == 3:
                with state.lock:
                    answer = b"" if words[2] == "-" else bytes.fromhex(words[2])
                    state.word_queues.setdefault(words[1], []).append(answer)
                reply = "OK"
            elif words[0] == "DELAY" and len(words) == 3 and words[2].isdigit():
                with state.lock:
                    state.delays[words[1]] = int(words[2])
                reply = "OK"
            elif words[0] == "RESET":
                with state.lock:
                    state.queue.clear()
                    state.defaults.clear()
                    state.word_queues.clear()
                    state.delays.clear()
                    state.record.clear()
                reply = "OK"
            elif words[0] == "COUNT":
                with state.lock:
                    reply = str(len(state.record))
            elif words[0] == "LAST":
                k = int(words[1]) if len(words) > 1 else 1
                with state.lock:
                    if 1 <= k <= len(state.record):
                        e = state.record[-k]
                        request = e["request"].hex() if e["request"] is not None else "-"
                        reply = "%s %s %s" % (e["public"], e["nonce"], request)
            conn.sendall(reply.encode("latin-1") + b"\n")
    except OSError:
        pass
    finally:
        conn.close()


def accept_loop(listener, handler, *args):
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=handler, args=(conn,) + args, daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--key-file", required=True)
    parser.add_argument("--link-port", type=int, default=0, help="the link's port (default: a free one)")
    args = parser.parse_args()
    signing_key = account_link.load_signing_key(args.key_file)
    state = State()

    link = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if args.link_port:
        link.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    link.bind(("127.0.0.1", args.link_port))
    link.listen(16)
    control = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    control.bind(("127.0.0.1", 0))
    control.listen(4)
    threading.Thread(target=accept_loop, args=(link, serve_link, state, signing_key), daemon=True).start()

    temporary = args.port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write("%d %d\n" % (link.getsockname()[1], control.getsockname()[1]))
    os.replace(temporary, args.port_file)
    accept_loop(control, serve_control, state)


if __name__ == "__main__":
    main()
