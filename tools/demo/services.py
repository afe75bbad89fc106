#!/usr/bin/python3
"""Sets up the local ZANDOR services that scripts/demo (and the end-to-end tests) run the launcher
against: the account server's hello key, a small release, the web site's pages, and the scripted
answers of the reference account and update servers (tests/peers/).

Run with Debian's /usr/bin/python3 (it needs python3-nacl).

  services.py hello-key --out FILE            new hello key seed; prints the launcher's key entry
  services.py make-release --out FOLDER       a small release folder for tools/sign_manifest.py
  services.py make-site --root FOLDER [--players N]
  services.py load-release --control PORT --manifest FILE --release-folder FOLDER [--pace MS]
  services.py pace --control PORT --ms MS     the update server waits that long before each piece
  services.py script-account --control PORT --base URL [--pending N] [--known-pc]
  services.py slow-renewal --control PORT [--ms MS]
"""
import argparse
import base64
import os
import sys

import nacl.signing

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "peers"))
import control_client  # noqa: E402  (the Python client of the control ports)

# The demo account: what the account server hands out.
DEMO_TOKEN = "pgt1.demo-session-0001"
DEMO_ACCOUNT_ID = 1001
DEMO_NAME = "Demo Player"
DEMO_MARKER = "pgm1.DEMOPCMARKER000000000001"
DEMO_CODE = "ZND-4821"
DEMO_TERMS = "v1"
GAME_NAME = "demo_player"
GAME_PASSWORD = "kickoff6"
GAME_SERIAL = "DEMO-0000-0000-0001"


def b64(text):
    return base64.b64encode(text.encode()).decode()


# ---- keys and files --------------------------------------------------------------------------

def hello_key(args):
    """The account server signs its hello with this seed; the launcher pins its public half as id 1."""
    if os.path.exists(args.out):
        seed = [l.strip() for l in open(args.out) if l.strip() and not l.startswith("#")][0]
        key = nacl.signing.SigningKey(bytes.fromhex(seed))
    else:
        key = nacl.signing.SigningKey.generate()
        fd = os.open(args.out, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, "w") as f:
            f.write("# Hello key of a local account server: made on this machine, never shipped.\n")
            f.write(key.encode().hex() + "\n")
    print("1:" + key.verify_key.encode().hex())


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def make_release(args):
    out = args.out
    write(os.path.join(out, "release.txt"),
          "# The local release: a client DLL, two bot jars and a small runtime tree.\n"
          "channel client\nrelease 1\npart dll 1 required\npart bots 1 optional\npart runtime 1 optional\n")
    # The client DLL carries the build marker by which the launcher knows a ZANDOR build.
    write(os.path.join(out, "dll", "d3d8.dll"),
          b"MZ\x90\x00" + b"\x00" * 60 + b"ZANDOR-UPDATE-MANIFEST-1\nlocal client build 1\n" + os.urandom(48 * 1024))
    write(os.path.join(out, "bots", "bot_takeover.jar"), b"PK\x05\x06" + b"\x00" * 18 + os.urandom(96 * 1024))
    write(os.path.join(out, "bots", "bot_tactics.jar"), b"PK\x05\x06" + b"\x00" * 18 + os.urandom(32 * 1024))
    write(os.path.join(out, "runtime", "bin", "java.exe"), b"MZ" + os.urandom(24 * 1024))
    write(os.path.join(out, "runtime", "lib", "rt.jar"), b"PK\x05\x06" + b"\x00" * 18 + os.urandom(2 * 1024 * 1024))
    write(os.path.join(out, "runtime", "release"), "JAVA_VERSION=\"1.8.0\"\n")


def make_site(args):
    root = args.root
    pages = {
        "version.txt": "launcher=1.4.0\n",
        "index.html": '<html><head><meta name="zandor-launcher-version" content="1.4.0"></head>'
                      "<body>ZANDOR (local)</body></html>\n",
        "players_online": '{"online": %d}\n' % args.players,
        "signup": "ZANDOR (local): this is where a new account is made.\n",
        "terms": "ZANDOR (local): the terms of use, version %s.\n" % DEMO_TERMS,
        "login": "ZANDOR (local): the Google sign-in would be here. The code is %s.\n"
                 "The local account server approves this log-in by itself after a few seconds.\n" % DEMO_CODE,
    }
    for name, text in pages.items():
        write(os.path.join(root, name), text)


# ---- control ports ---------------------------------------------------------------------------

def control(port, lines):
    """Sends control lines to a reference server and checks that each one is answered OK."""
    control_client.control(port, lines, who="services", timeout=60)


def load_release(args):
    lines = ["RESET"]
    if args.pace:
        lines.append("MODE pace %d" % args.pace)
    with open(args.manifest, "rb") as f:
        lines.append("MANIFEST client " + base64.b64encode(f.read()).decode())
    for folder, _, names in os.walk(args.release_folder):
        for name in sorted(names):
            if name == "release.txt":
                continue
            with open(os.path.join(folder, name), "rb") as f:
                lines.append("FILE " + base64.b64encode(f.read()).decode())
    control(args.control, lines)


def pace(args):
    """A slow line, so that a download can be seen (the release stays as it is)."""
    control(args.control, ["MODE pace %d" % args.ms])


def login_answer():
    return "\t".join(["OK", DEMO_TOKEN, "1", str(DEMO_ACCOUNT_ID), b64(DEMO_NAME), DEMO_MARKER, DEMO_TERMS,
                      ""])


def script_account(args):
    """A first start: the PC is not known (AUTO refused), the browser log-in gets a code, the player
    signs in after a few polls; later starts renew the saved log-in. The game account is always given.
    With known_pc the PC is known instead: AUTO logs in at once, with no page to answer."""
    base = args.base.rstrip("/")
    hexed = lambda text: text.encode().hex()
    lines = ["RESET",
             "ANSWER WEBLOGIN " + hexed("\t".join(["REQUEST", "demo-request-1", "demo-poll-key-1", DEMO_CODE,
                                                    base + "/login?code=" + DEMO_CODE, "300000"]))]
    lines += ["ANSWER WEBPOLL " + hexed("PENDING")] * args.pending
    lines += ["ANSWER WEBPOLL " + hexed(login_answer()),
              "DEFAULT AUTO " + hexed(login_answer() if args.known_pc else "DENIED\tunknown_pc\t"),
              "DEFAULT WEBPOLL " + hexed("PENDING"),
              "DEFAULT RENEW " + hexed(login_answer()),
              "DEFAULT GAMEACCOUNT " + hexed("\t".join(["GAME", b64(GAME_NAME), b64(GAME_PASSWORD), GAME_SERIAL]))]
    control(args.control, lines)


def slow_renewal(args):
    """The next start's renewal answered a little late, so that its page can be seen."""
    control(args.control, ["PUSH slow:%d %s" % (args.ms, login_answer().encode().hex())])


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    c = commands.add_parser("hello-key")
    c.add_argument("--out", required=True)
    c = commands.add_parser("make-release")
    c.add_argument("--out", required=True)
    c = commands.add_parser("make-site")
    c.add_argument("--root", required=True)
    c.add_argument("--players", type=int, default=57)
    c = commands.add_parser("load-release")
    c.add_argument("--control", type=int, required=True)
    c.add_argument("--manifest", required=True)
    c.add_argument("--release-folder", required=True)
    c.add_argument("--pace", type=int, default=0, help="milliseconds before each piece (a slow line)")
    c = commands.add_parser("script-account")
    c.add_argument("--control", type=int, required=True)
    c.add_argument("--base", required=True)
    c.add_argument("--pending", type=int, default=3)
    c.add_argument("--known-pc", action="store_true", help="AUTO logs the PC in")
    c = commands.add_parser("pace")
    c.add_argument("--control", type=int, required=True)
    c.add_argument("--ms", type=int, required=True)
    c = commands.add_parser("slow-renewal")
    c.add_argument("--control", type=int, required=True)
    c.add_argument("--ms", type=int, default=1500)
    args = parser.parse_args(argv)
    {"hello-key": hello_key, "make-release": make_release, "make-site": make_site,
     "load-release": load_release, "pace": pace, "script-account": script_account, "slow-renewal": slow_renewal}[args.command](args)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
