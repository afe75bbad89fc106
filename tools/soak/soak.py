#!/usr/bin/python3
"""The kill-at-any-moment soak of the launcher's update (driven by scripts/soak).

It makes two signed releases (old and new) of all four parts, installs the old one in a game folder
with a real launcher run, measures one unkilled update to the new release, then, KILLS times: puts
the old installation back, starts the launcher on it ("--no-game"), kills its Windows process hard
(SIGKILL of the Wine process) at a moment spread over the whole update (a fraction of the measured
run's time; the N-th file-system event in the game folder: pieces written, files read for
verification, moves into staging; or right after the N-th file made, moved or deleted outside
staging: every swap and state-file write), checks that every part is wholly old or wholly new and
that no state file or login.txt is cut, and lets one more run repair it all.

Two parts cannot change in one move: the bots are swapped file by file and the Java runtime by two
folder moves. Caught among those moves, such a part counts as a swap under way, not as half-replaced,
only when installed.json records it as waiting for the new release (the launcher does so before the
first move) and the next start swaps the rest in by itself, before it talks to the update server.
The running launcher is replaced by a command that waits for it to end; the soak waits for that
command before it checks a finished run.

Run with Debian's /usr/bin/python3 (it needs python3-nacl for the signer). The reference account
and update servers must already listen (their control ports are given); WINEPREFIX and DISPLAY come
from the environment.
"""
import argparse
import base64
import ctypes
import hashlib
import os
import random
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SIGNER = os.path.join(ROOT, "tools", "sign_manifest.py")
sys.path.insert(0, os.path.join(ROOT, "tools"))
from sign_manifest import sha512_of  # noqa: E402  (the signer's own file digest)
LAUNCHER = "ZANDOR Launcher.exe"
KINDS = ("dll", "bots", "runtime", "launcher")

# The account the reference account server hands out: the PC is recognised, every start logs in.
TOKEN = "pgt1.soak-session-0001"
GAME_NAME, GAME_PASSWORD, GAME_SERIAL = "soak_player", "kickoff6", "SOAK-0000-0000-0001"
LOGIN_TXT = None  # the game account file as the installing run wrote it


def say(text):
    print("soak: " + text, flush=True)


def b64(text):
    return base64.b64encode(text.encode()).decode()


# ---- the two releases ---------------------------------------------------------------------------

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


# ---- the services -------------------------------------------------------------------------------

def control(port, lines):
    with socket.create_connection(("127.0.0.1", port), timeout=30) as conn:
        reader = conn.makefile("rb")
        for line in lines:
            conn.sendall(line.encode() + b"\n")
            answer = reader.readline().decode().strip()
            if not answer.startswith("OK"):
                raise SystemExit("soak: the server answered %r to %s..." % (answer, line[:40]))


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
    control(port, lines)


def script_account(port):
    """The PC is known: AUTO and RENEW log in at once; the game account is always given."""
    hexed = lambda text: text.encode().hex()
    login = "\t".join(["OK", TOKEN, "1", "1001", b64("Soak Player"), "pgm1.SOAKPCMARKER00000000001", "v1", ""])
    control(port, ["RESET", "DEFAULT AUTO " + hexed(login), "DEFAULT RENEW " + hexed(login),
                   "DEFAULT GAMEACCOUNT " + hexed("\t".join(["GAME", b64(GAME_NAME), b64(GAME_PASSWORD),
                                                             GAME_SERIAL]))])


# ---- watching the game folder -------------------------------------------------------------------

IN_ACCESS, IN_MODIFY, IN_CLOSE_WRITE, IN_OPEN = 0x1, 0x2, 0x8, 0x20
IN_MOVED_FROM, IN_MOVED_TO, IN_CREATE, IN_DELETE = 0x40, 0x80, 0x100, 0x200
IN_ISDIR, IN_Q_OVERFLOW = 0x40000000, 0x4000
WATCHED = IN_ACCESS | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE | IN_DELETE


class FolderEvents:
    """Counts file-system events anywhere under a folder (inotify, sub-folders followed as they come)."""

    def __init__(self, top):
        self.libc = ctypes.CDLL("libc.so.6", use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0:
            raise SystemExit("soak: inotify is not available")
        self.paths = {}
        self.count = 0
        self.changes = 0  # files and folders made, moved or deleted outside staging: swaps, state files
        self.names = []  # (count, event text) of the last run, when recording
        self.recording = False
        self.top = top
        self.watch_tree(top)

    def watch_tree(self, folder):
        for where, dirs, _ in os.walk(folder):
            wd = self.libc.inotify_add_watch(self.fd, where.encode(), WATCHED)
            if wd >= 0:
                self.paths[wd] = where

    def drain(self):
        """Reads the pending events; gives how many arrived."""
        arrived = 0
        while True:
            try:
                data = os.read(self.fd, 1 << 16)
            except BlockingIOError:
                return arrived
            at = 0
            while at + 16 <= len(data):
                wd, mask, _, length = struct.unpack_from("iIII", data, at)
                name = data[at + 16:at + 16 + length].split(b"\0", 1)[0].decode("latin-1")
                at += 16 + length
                if mask & IN_Q_OVERFLOW:
                    continue
                folder = self.paths.get(wd, "?")
                if mask & IN_ISDIR and mask & (IN_CREATE | IN_MOVED_TO):
                    self.watch_tree(os.path.join(folder, name))
                if mask & IN_ISDIR and mask & IN_ACCESS:
                    continue  # folder listings: Wine looks names up by reading folders
                arrived += 1
                self.count += 1
                if mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) and \
                        "staging" not in os.path.relpath(folder, self.top).split(os.sep):
                    self.changes += 1
                if self.recording:
                    self.names.append((time.monotonic(), mask, os.path.join(folder, name)))

    def close(self):
        os.close(self.fd)


# ---- running the launcher -----------------------------------------------------------------------

class Runner:
    def __init__(self, game, logs):
        self.game = game
        self.logs = logs

    def launch(self, log_name):
        out = open(os.path.join(self.logs, log_name), "wb")
        process = subprocess.Popen(["wine", os.path.join(self.game, LAUNCHER), "--no-game"], cwd=self.game,
                                   stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        out.close()
        return process

    def windows_pid(self, process):
        """The Unix process that runs the launcher's Windows process: the started one or a child of it
        whose command line names the launcher."""
        wanted = LAUNCHER.encode()
        candidates = [process.pid]
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    with open("/proc/%s/stat" % entry, "rb") as f:
                        stat = f.read()
                    ppid = int(stat[stat.rindex(b")") + 2:].split()[1])
                    if ppid == process.pid:
                        candidates.append(int(entry))
                except (OSError, ValueError):
                    pass
        for pid in candidates:
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as f:
                    if wanted in f.read():
                        return pid
            except OSError:
                pass
        return process.pid

    def run(self, log_name, events, kill_at_seconds=None, kill_at_event=None, kill_at_change=None, limit=600):
        """One launcher run; killed when the time, the event count or the count of changes is reached.
        Gives (seconds, exit code or None when killed, events seen, changes seen)."""
        events.drain()
        first = events.count
        first_change = events.changes
        started = time.monotonic()
        process = self.launch(log_name)
        killed = False
        while process.poll() is None:
            timeout = 0.05
            if kill_at_seconds is not None:
                timeout = max(0.0, min(timeout, started + kill_at_seconds - time.monotonic()))
            select.select([events.fd], [], [], timeout)
            events.drain()
            now = time.monotonic()
            due = (kill_at_seconds is not None and now - started >= kill_at_seconds) or \
                  (kill_at_event is not None and events.count - first >= kill_at_event) or \
                  (kill_at_change is not None and events.changes - first_change >= kill_at_change)
            if due and process.poll() is None:
                try:
                    os.kill(self.windows_pid(process), signal.SIGKILL)
                except ProcessLookupError:
                    pass
                killed = True
                break
            if now - started > limit:
                os.kill(self.windows_pid(process), signal.SIGKILL)
                process.wait()
                raise SystemExit("soak: the launcher did not end within %d s" % limit)
        elapsed = time.monotonic() - started
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        # Whatever the launcher had still running in Wine has ended with it.
        time.sleep(0.05)
        events.drain()
        code = None if killed and process.returncode != 0 else process.returncode
        return elapsed, code, events.count - first, events.changes - first_change


# ---- the command that puts a new launcher in place -----------------------------------------------

def launcher_finishers():
    """The Windows commands a launcher left to move its new file in once it has ended: the command
    interpreters running in the soak's own Wine prefix (Wine may cut their command lines short)."""
    prefix = ("WINEPREFIX=" + os.environ.get("WINEPREFIX", "")).encode()
    pids = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    line = f.read()
                if b"cmd.exe" not in line.lower():
                    continue
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if prefix not in f.read().split(b"\0"):
                        continue
            except OSError:
                continue
            pids.append(int(entry))
    return pids


def wait_for_finishers(limit=90):
    """Waits until no such command runs (they end once the new launcher is in place)."""
    end = time.monotonic() + limit
    while launcher_finishers() and time.monotonic() < end:
        time.sleep(0.1)


def stop_finishers():
    for pid in launcher_finishers():
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


# ---- checking the game folder -------------------------------------------------------------------

def part_places(game, kind, files):
    bots = os.path.join(game, "ombrix_data", "bot_takeover")
    for path in files:
        if kind == "dll":
            yield path, os.path.join(game, "d3d8.dll")
        elif kind == "launcher":
            yield path, os.path.join(game, LAUNCHER)
        elif kind == "bots":
            yield path, os.path.join(bots, path)
        else:
            yield path, os.path.join(bots, "jre", *path.split("/"))


def file_state(place, old, new):
    """"old", "new", or what is wrong with the file: missing, zero-filled, cut, changed."""
    if not os.path.isfile(place):
        return "missing"
    size = os.path.getsize(place)
    digest = None
    for name, entry in (("old", old), ("new", new)):
        if entry and entry[0] == size:
            digest = digest or sha512_of(place)
            if digest == entry[1]:
                return name
    with open(place, "rb") as f:
        data = f.read()
    if size and data.count(0) == size:
        return "zero-filled"
    if any(entry and size < entry[0] for entry in (old, new)):
        return "cut"
    return "changed"


def part_state(game, kind, old_manifest, new_manifest):
    """("old" | "new" | "half", details) for one part of the game folder."""
    old_files = old_manifest[kind]["files"]
    new_files = new_manifest[kind]["files"]
    states = {}
    for path, place in part_places(game, kind, sorted(set(old_files) | set(new_files))):
        states[path] = file_state(place, old_files.get(path), new_files.get(path))
    whole = []
    for name, files in (("old", old_files), ("new", new_files)):
        if all(states[path] == name for path in files):
            whole.append(name)
    if kind == "runtime" and whole:
        # The runtime is swapped as one folder: it holds exactly the files of one version.
        jre = os.path.join(game, "ombrix_data", "bot_takeover", "jre")
        present = set()
        for where, _, names in os.walk(jre):
            for n in names:
                present.add(os.path.relpath(os.path.join(where, n), jre).replace(os.sep, "/"))
        whole = [name for name in whole if present == set(old_files if name == "old" else new_files)]
    if whole:
        return whole[0], ""
    odd = ["%s %s" % (path, state) for path, state in sorted(states.items())
           if not (state == "old" and path in old_files) and not (state == "new" and path in new_files)]
    if not odd:  # every file whole, some of them old and the others new
        odd = ["%s %s" % (path, state) for path, state in sorted(states.items())]
    return "half", "%s: %s" % (half_kind(game, kind, old_manifest, new_manifest, states), ", ".join(odd[:6]))


def whole_tree(folder, files):
    """Whether the folder holds exactly these manifest files, each whole."""
    present = set()
    for where, _, names in os.walk(folder):
        for n in names:
            present.add(os.path.relpath(os.path.join(where, n), folder).replace(os.sep, "/"))
    return present == set(files) and all(
        file_state(os.path.join(folder, *path.split("/")), entry, None) == "old" for path, entry in files.items())


def half_kind(game, kind, old_manifest, new_manifest, states):
    """What a half-replaced part is: "between two moves" (its place is empty while its old version
    lies whole aside and its new one whole in staging: a folder cannot be replaced in one move),
    "mixed" (some files old, the others new: a part swapped file by file), or
    "damaged" (anything else: cut, zero-filled or changed files, or missing ones not kept whole)."""
    updates = os.path.join(game, "ombrix_data", "updates")
    old_files, new_files = old_manifest[kind]["files"], new_manifest[kind]["files"]
    previous = os.path.join(updates, "previous", "%s_v%d" % (kind, old_manifest[kind]["version"]))
    staging = os.path.join(updates, "staging", "%s_v%d" % (kind, new_manifest[kind]["version"]))
    if kind == "runtime":
        jre = os.path.join(game, "ombrix_data", "bot_takeover", "jre")
        if not os.path.exists(jre) and whole_tree(previous, old_files) and whole_tree(staging, new_files):
            return "between two moves"
        return "damaged"
    aside = {"dll": "d3d8.dll", "launcher": LAUNCHER}
    kept = True
    for path, state in states.items():
        if state == "missing":
            name = aside.get(kind, path)
            kept = kept and path in old_files and path in new_files and \
                file_state(os.path.join(previous, name), old_files[path], None) == "old" and \
                file_state(os.path.join(staging, path), new_files[path], None) == "old"
        elif state not in ("old", "new"):
            return "damaged"
    if not kept:
        return "damaged"
    return "between two moves" if "missing" in states.values() else "mixed"


def recorded_under_way(game, kind, details, new_manifest, new_text):
    """Whether a half-replaced bots or runtime part is a swap under way to the new release that
    installed.json records (the part waits at the new version, with the new manifest staged), with
    every file whole in its place, aside or in staging."""
    if kind not in ("bots", "runtime") or not details.startswith(("mixed", "between two moves")):
        return False
    updates = os.path.join(game, "ombrix_data", "updates")
    try:
        with open(os.path.join(updates, "installed.json"), "r", encoding="latin-1") as f:
            installed = f.read()
        with open(os.path.join(updates, "staged_manifest.txt"), "rb") as f:
            staged = f.read()
        with open(new_text, "rb") as f:
            wanted = f.read()
    except OSError:
        return False
    return json_number(installed, "staged_%s_version" % kind) == new_manifest[kind]["version"] and staged == wanted


def finished_at_start(repair_log, kind, new_manifest):
    """Whether the run's worker swapped the waiting part in first, before it talked to the update
    server (its "waiting parts" line)."""
    wanted = "%s version %d swapped in" % (kind, new_manifest[kind]["version"])
    return any(" waiting parts: " in line and wanted in line for line in repair_log.decode("latin-1").splitlines())


def damaged_files(game):
    """Files that must never be half-written: the state files and login.txt, when present."""
    problems = []
    updates = os.path.join(game, "ombrix_data", "updates")
    for name in ("installed.json", "boot.json"):
        path = os.path.join(updates, name)
        if os.path.exists(path):
            with open(path, "rb") as f:
                text = f.read()
            if not text.startswith(b"{\n") or not text.endswith(b' "format": 1\n}\n'):
                problems.append("%s is cut (%d bytes)" % (name, len(text)))
    for name in ("installed_manifest.txt", "staged_manifest.txt"):
        path = os.path.join(updates, name)
        if os.path.exists(path):
            with open(path, "rb") as f:
                text = f.read()
            if b"\nsignature\t" not in text or not text.endswith(b"\n"):
                problems.append("%s is cut (%d bytes)" % (name, len(text)))
    login = os.path.join(game, "login.txt")
    if os.path.exists(login):
        with open(login, "rb") as f:
            text = f.read()
        if text != LOGIN_TXT:
            problems.append("login.txt holds %d bytes, not the game account" % len(text))
    return problems


def json_number(text, name):
    at = text.find('"%s"' % name)
    if at < 0:
        return 0
    rest = text[at + len(name) + 2:].lstrip(" \t:")
    digits = ""
    for c in rest:
        if not c.isdigit():
            break
        digits += c
    return int(digits or "0")


def json_string(text, name):
    at = text.find('"%s"' % name)
    if at < 0:
        return ""
    rest = text[at + len(name) + 2:].lstrip(" \t:")
    if not rest.startswith('"'):
        return ""
    return rest[1:].split('"', 1)[0]


def up_to_date(game, old_manifest, new_manifest, code):
    """What keeps the game folder from being up to date after a repairing run (empty when it is)."""
    wrong = []
    if code != 0:
        wrong.append("the run ended with exit code %s" % code)
    for kind in KINDS:
        state, details = part_state(game, kind, old_manifest, new_manifest)
        if state != "new":
            wrong.append("%s is %s %s" % (kind, state, details))
    bots = os.path.join(game, "ombrix_data", "bot_takeover")
    jars = set(n for n in os.listdir(bots) if os.path.isfile(os.path.join(bots, n))) if os.path.isdir(bots) else set()
    if jars != set(new_manifest["bots"]["files"]):
        wrong.append("the bots folder holds %s" % ", ".join(sorted(jars)))
    updates = os.path.join(game, "ombrix_data", "updates")
    try:
        with open(os.path.join(updates, "installed.json"), "r", encoding="latin-1") as f:
            installed = f.read()
    except OSError:
        installed = ""
    for kind in KINDS:
        have = json_number(installed, "%s_version" % kind)
        staged = json_number(installed, "staged_%s_version" % kind)
        if kind == "launcher" and (have, staged) == (old_manifest[kind]["version"], new_manifest[kind]["version"]):
            # The running launcher is replaced once it has ended: the next start, which finds the
            # new file in place (checked above), records it.
            continue
        if have != new_manifest[kind]["version"] or staged != 0:
            wrong.append("installed.json records %s version %d (staged %d)" % (kind, have, staged))
    new_dll = new_manifest["dll"]["files"]["d3d8.dll"][1]
    if json_string(installed, "dll_sha512") != new_dll:
        wrong.append("installed.json does not record the new DLL's digest")
    try:
        with open(os.path.join(updates, "boot.json"), "r", encoding="latin-1") as f:
            boot = f.read()
    except OSError:
        boot = ""
    if json_string(boot, "pending_sha512") != new_dll:
        wrong.append("the new DLL is not on probation in boot.json")
    wrong += damaged_files(game)
    return wrong


# ---- the soak -----------------------------------------------------------------------------------

def copy_tree(source, target):
    if os.path.exists(target):
        shutil.rmtree(target)
    shutil.copytree(source, target, symlinks=True)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kills", type=int, required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--exe", required=True, help="the built launcher")
    parser.add_argument("--key", required=True, help="the release key the launcher trusts")
    parser.add_argument("--update-control", type=int, required=True)
    parser.add_argument("--account-control", type=int, required=True)
    parser.add_argument("--pace", type=int, default=10, help="milliseconds before each piece")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--moments", default="time,event,change",
                        help="which kill moments to use, of time, event and change")
    args = parser.parse_args(argv)
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    work = args.work
    logs = os.path.join(work, "logs")
    for folder in (logs,):
        if os.path.exists(folder):
            shutil.rmtree(folder)
        os.makedirs(folder)

    say("making the old and the new release (all four parts) and signing them")
    old_folder, new_folder = os.path.join(work, "release_old"), os.path.join(work, "release_new")
    make_release(old_folder, 1, args.exe)
    make_release(new_folder, 2, args.exe, old_dll=os.path.join(old_folder, "dll", "d3d8.dll"))
    old_text, new_text = os.path.join(work, "manifest_old.txt"), os.path.join(work, "manifest_new.txt")
    sign(old_folder, args.key, old_text)
    sign(new_folder, args.key, new_text)
    old_manifest, new_manifest = read_manifest(old_text), read_manifest(new_text)
    script_account(args.account_control)

    # The old installation, by a real run on a folder that holds only the old launcher and the
    # other component's wish for the bots.
    game, pristine = os.path.join(work, "game"), os.path.join(work, "game_old")
    for folder in (game, pristine):
        if os.path.exists(folder):
            shutil.rmtree(folder)
    os.makedirs(os.path.join(game, "ombrix_data", "updates"))
    shutil.copyfile(os.path.join(old_folder, "launcher", LAUNCHER), os.path.join(game, LAUNCHER))
    with open(os.path.join(game, "ombrix_data", "updates", "installed.json"), "w") as f:
        f.write('{\n "channel": "client",\n "bots_wanted": 1,\n "format": 1\n}\n')
    events = FolderEvents(game)
    runner = Runner(game, logs)
    load_release(args.update_control, old_text, old_folder, 0)
    say("installing the old release with a real run")
    _, code, _, _ = runner.run("install.out", events)
    states = [part_state(game, kind, old_manifest, new_manifest)[0] for kind in KINDS]
    if code != 0 or states != ["old"] * 4:
        log = os.path.join(game, "ombrix_data", "updates", "launcher.log")
        say("the old release was not installed (exit code %s, parts %s); see %s" % (code, states, log))
        return 2
    global LOGIN_TXT
    with open(os.path.join(game, "login.txt"), "rb") as f:
        LOGIN_TXT = f.read()
    if GAME_NAME.encode() not in LOGIN_TXT:
        say("the installing run wrote no game account into login.txt")
        return 2
    os.remove(os.path.join(game, "login.txt"))  # every run writes it again
    copy_tree(game, pristine)

    load_release(args.update_control, new_text, new_folder, args.pace)

    def reset():
        stop_finishers()
        events.close()
        copy_tree(pristine, game)
        return FolderEvents(game)

    # Two unkilled updates, measured: their duration and their file-system events set the kill moments.
    events = reset()
    events.recording = True
    durations, counts, change_counts = [], [], []
    for attempt in range(2):
        events.names = []
        elapsed, code, seen, changes = runner.run("unkilled-%d.out" % attempt, events)
        wait_for_finishers()
        wrong = up_to_date(game, old_manifest, new_manifest, code)
        if wrong:
            say("an unkilled update did not end up to date: " + "; ".join(wrong))
            shutil.copy(os.path.join(game, "ombrix_data", "updates", "launcher.log"), os.path.join(logs, "unkilled.log"))
            return 2
        durations.append(elapsed)
        counts.append(seen)
        change_counts.append(changes)
        if attempt == 0:
            write_event_list(events, os.path.join(logs, "unkilled-events.txt"))
            events.recording = False
        events = reset()
    duration, event_count, change_count = sum(durations) / len(durations), min(counts), min(change_counts)
    say("an unkilled update takes %.1f s here with %d file-system events in the game folder, %d of them "
        "files made, moved or deleted outside staging (seed %d)" % (duration, event_count, change_count, seed))

    # A third of the kills at a time offset, a third at a file-system event (pieces written, files
    # read for verification, moves...), a third right after a file is made, moved or deleted outside
    # staging (every swap and state-file write), each spread evenly over the run with a random place
    # inside its slot. The moments are fractions of the run: a run that ends before its kill moment
    # shortens the measured run, and the kill is tried again.
    plan = []
    moments = [how for how in ("time", "event", "change") if how in args.moments.split(",")]
    if not moments:
        raise SystemExit("soak: --moments names none of time, event, change")
    for i, how in enumerate(moments):
        share = (args.kills + len(moments) - 1 - i) // len(moments)
        plan += [(how, (j + rng.random()) / share) for j in range(share)]
    rng.shuffle(plan)

    half_replaced = 0
    swaps_under_way = 0
    kinds_seen = {}
    not_repaired = 0
    damaged = 0
    before_end = 0
    missed = 0
    started = time.monotonic()
    log = os.path.join(game, "ombrix_data", "updates", "launcher.log")
    for number, (how, fraction) in enumerate(plan, 1):
        for attempt in range(5):
            if how == "time":
                at = fraction * duration
                label = "%.2f s" % at
            else:
                at = int(fraction * (event_count if how == "event" else change_count)) + 1
                label = "%s %d" % (how, at)
            label = "kill %d/%d at %s" % (number, len(plan), label)
            elapsed, code, seen, changes = runner.run("kill-%03d.out" % number, events,
                                                      kill_at_seconds=at if how == "time" else None,
                                                      kill_at_event=at if how == "event" else None,
                                                      kill_at_change=at if how == "change" else None)
            if code is None:
                break
            # The run ended before its kill moment: it was a whole run, which must be up to date.
            before_end += 1
            wait_for_finishers()
            wrong = up_to_date(game, old_manifest, new_manifest, code)
            if wrong:
                not_repaired += 1
                say("%s: the run ended first and is NOT up to date: %s" % (label, "; ".join(wrong)))
                shutil.copy(log, os.path.join(logs, "kill-%03d-unkilled-launcher.log" % number))
            if how == "time":
                duration = min(duration, elapsed * 0.95)
            elif how == "event":
                event_count = min(event_count, max(1, seen - 1))
            else:
                change_count = min(change_count, max(1, changes - 1))
            events = reset()
        else:
            missed += 1
            say("%s: every run ended before its kill moment" % label)
            continue
        states = {kind: part_state(game, kind, old_manifest, new_manifest) for kind in KINDS}
        half = [kind for kind in KINDS if states[kind][0] == "half"]
        # The bots (file by file) and the runtime (two folder moves) cannot change in one move: such a
        # swap caught among its moves counts as whole when it was recorded before its first move and
        # the next start finishes it by itself, before it asks the update server.
        under_way = [kind for kind in half if recorded_under_way(game, kind, states[kind][1], new_manifest, new_text)]
        half = [kind for kind in half if kind not in under_way]
        if under_way:
            swaps_under_way += len(under_way)
            text_under_way = ", ".join("%s (%s)" % (k, states[k][1].split(":")[0]) for k in under_way)
        problems = damaged_files(game)
        text = ", ".join("%s %s" % (kind, "under way" if kind in under_way else states[kind][0]) for kind in KINDS)
        keep = False
        if half:
            half_replaced += len(half)
            for k in half:
                what = states[k][1].split(":")[0]
                kinds_seen[what] = kinds_seen.get(what, 0) + 1
            keep = True
            say("%s: HALF-REPLACED %s" % (label, "; ".join("%s (%s)" % (k, states[k][1]) for k in half)))
        if problems:
            damaged += len(problems)
            keep = True
            say("%s: DAMAGED %s" % (label, "; ".join(problems)))
        killed_log = open(log, "rb").read() if os.path.exists(log) else b""
        _, code, _, _ = runner.run("repair-%03d.out" % number, events)
        wait_for_finishers()
        wrong = up_to_date(game, old_manifest, new_manifest, code)
        if under_way:
            repair_log = open(log, "rb").read()[len(killed_log):] if os.path.exists(log) else b""
            for kind in under_way:
                if not finished_at_start(repair_log, kind, new_manifest):
                    wrong.append("the next start did not finish the %s swap under way by itself" % kind)
            if not wrong:
                say("%s: swap under way: %s; the next start finished it by itself" % (label, text_under_way))
        if wrong:
            not_repaired += 1
            keep = True
            say("%s: %s; the next run did NOT repair it: %s" % (label, text, "; ".join(wrong)))
        if keep:
            with open(os.path.join(logs, "kill-%03d-killed-launcher.log" % number), "wb") as f:
                f.write(killed_log)
            shutil.copy(log, os.path.join(logs, "kill-%03d-launcher.log" % number))
            copy_tree(game, os.path.join(logs, "kill-%03d-game" % number))
        else:
            say("%s: %s; repaired" % (label, text))
        events = reset()
    minutes = (time.monotonic() - started) / 60
    kills = len(plan) - missed
    say("%d kills in %.1f min (%d runs ended before their kill moment and were tried again, %d kills missed), "
        "%d damaged files; logs in %s" % (kills, minutes, before_end, missed, damaged, logs))
    if swaps_under_way:
        say("%d bots or runtime swaps were under way at their kill, recorded before their first move; the next "
            "start finished each before its update check" % swaps_under_way)
    if kinds_seen:
        say("half-replaced parts: " + ", ".join("%d %s" % (n, what) for what, n in sorted(kinds_seen.items())))
    print("%d kills: %d half-replaced parts, %d runs that did not repair" % (kills, half_replaced, not_repaired),
          flush=True)
    return 0 if half_replaced == 0 and not_repaired == 0 and damaged == 0 and missed == 0 else 1


def write_event_list(events, path):
    """The unkilled run's file-system events, for reading where a kill at event N lands."""
    names = {IN_ACCESS: "read", IN_MODIFY: "write", IN_CLOSE_WRITE: "closed", IN_MOVED_FROM: "moved from",
             IN_MOVED_TO: "moved to", IN_CREATE: "created", IN_DELETE: "deleted"}
    with open(path, "w") as f:
        first = events.names[0][0] if events.names else 0
        for number, (when, mask, path_name) in enumerate(events.names, 1):
            what = ", ".join(text for bit, text in names.items() if mask & bit)
            f.write("%5d %7.3f s  %-10s %s\n" % (number, when - first, what, path_name))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
