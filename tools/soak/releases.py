"""The soak's two releases of all four parts (old and new), signed, and what the reference servers
are told to serve and answer."""
import base64
import hashlib
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SIGNER = os.path.join(ROOT, "tools", "sign_manifest.py")
sys.path.insert(0, os.path.join(ROOT, "tests", "peers"))
from control_client import control  # noqa: E402  (the Python client of the control ports)

LAUNCHER = "ZANDOR Launcher.exe"
KINDS = ("dll", "bots", "runtime", "launcher")

# The account the reference account server hands out: the PC is recognised, every start logs in.
TOKEN = "pgt1.soak-session-0001"
GAME_NAME, GAME_PASSWORD, GAME_SERIAL = "soak_player", "kickoff6", "SOAK-0000-0000-0001"


def b64(text):
    return base64.b64encode(text.encode()).decode()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def noise(seed, size):
    """Deterministic bytes that do not compress (so every file differs between the releases)."""
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha512(b"%s:%d" % (seed.encode(), counter)).digest()
        counter += 1
    return bytes(out[:size])


def make_release(folder, number, launcher_exe, old_dll=None):
    """Release NUMBER (1 = old, 2 = new): every part at version NUMBER. The runtime is a tree of 40
    files (about 6 MiB), so its download takes a moment; the new bots drop one jar and add another."""
    if os.path.exists(folder):
        shutil.rmtree(folder)
    tag = "r%d" % number
    lines = ["channel client", "release %d" % number, "part dll %d required" % number,
             "part bots %d optional" % number, "part runtime %d optional" % number,
             "part launcher %d required" % number]
    if old_dll:
        lines.append("known_dll_file " + os.path.relpath(old_dll, folder))
    write(os.path.join(folder, "release.txt"), ("\n".join(lines) + "\n").encode())
    # The client DLL carries the build marker by which the launcher knows a ZANDOR build.
    write(os.path.join(folder, "dll", "d3d8.dll"),
          b"MZ\x90\x00" + b"\x00" * 60 + b"ZANDOR-UPDATE-MANIFEST-1\nsoak client build %d\n" % number +
          noise(tag + "dll", 300 * 1024))
    jars = ["bot_takeover.jar", "bot_tactics.jar", "bot_old.jar"] if number == 1 else \
           ["bot_takeover.jar", "bot_tactics.jar", "bot_new.jar"]
    for i, jar in enumerate(jars):
        write(os.path.join(folder, "bots", jar), b"PK\x05\x06" + noise(tag + jar, (40 + 30 * i) * 1024))
    for i in range(40):
        sub = ("bin", "lib", "lib/ext", "conf")[i % 4]
        size = (700 if i % 10 == 3 else 50) * 1024 + i * 517
        write(os.path.join(folder, "runtime", sub, "file%02d.dat" % i), noise(tag + "rt%d" % i, size))
    write(os.path.join(folder, "runtime", "release"), b'JAVA_VERSION="1.8.0_%d"\n' % number)
    # The launcher: the built program with a trailer of its own, so each release's file differs and
    # both run.
    with open(launcher_exe, "rb") as f:
        program = f.read()
    write(os.path.join(folder, "launcher", LAUNCHER), program + b"\0SOAK-RELEASE-%d\0" % number + noise(tag, 4096))


def sign(folder, key, out):
    subprocess.run(["/usr/bin/python3", SIGNER, "sign", "--key", key, "--release-folder", folder, "--out", out],
                   check=True, stdout=subprocess.DEVNULL)


def read_manifest(path):
    """{kind: {"version": V, "files": {path: (size, sha512 hex)}}} from a signed manifest."""
    parts = {}
    with open(path, "rb") as f:
        for raw in f.read().decode("latin-1").split("\n"):
            fields = raw.rstrip("\r").split("\t")
            if fields[0] == "part" and len(fields) >= 3:
                parts[fields[1]] = {"version": int(fields[2]), "files": {}}
            elif fields[0] == "file" and len(fields) == 5:
                parts[fields[1]]["files"][fields[2]] = (int(fields[3]), fields[4])
    return parts


def load_release(port, manifest, folder, pace):
    lines = ["RESET"]
    if pace:
        lines.append("MODE pace %d" % pace)
    with open(manifest, "rb") as f:
        lines.append("MANIFEST client " + base64.b64encode(f.read()).decode())
    for where, _, names in os.walk(folder):
        for name in sorted(names):
            if name != "release.txt":
                with open(os.path.join(where, name), "rb") as f:
                    lines.append("FILE " + base64.b64encode(f.read()).decode())
    control(port, lines, who="soak", timeout=60)


def script_account(port):
    """The PC is known: AUTO and RENEW log in at once; the game account is always given."""
    hexed = lambda text: text.encode().hex()
    login = "\t".join(["OK", TOKEN, "1", "1001", b64("Soak Player"), "pgm1.SOAKPCMARKER00000000001", "v1", ""])
    control(port, ["RESET", "DEFAULT AUTO " + hexed(login), "DEFAULT RENEW " + hexed(login),
                   "DEFAULT GAMEACCOUNT " + hexed("\t".join(["GAME", b64(GAME_NAME), b64(GAME_PASSWORD),
                                                             GAME_SERIAL]))], who="soak")


def recorded(port):
    """The lines the update server received since its last RESET."""
    answer = control(port, ["RECORD"], who="soak", timeout=60)[0]
    return base64.b64decode(answer.split(" ", 1)[1]).split(b"\n") if " " in answer else []
