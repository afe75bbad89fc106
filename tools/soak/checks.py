"""The soak's checks of a game folder: every part wholly old or wholly new (or a recorded swap under
way), no state file or login.txt cut, and a folder up to date after a repairing run."""
import json
import os
import sys

from releases import KINDS, LAUNCHER, ROOT

sys.path.insert(0, os.path.join(ROOT, "tools"))
from sign_manifest import sha512_of  # noqa: E402  (the signer's own file digest)


def read_json(path):
    """A state file as a dict; empty when it is missing or not whole JSON."""
    try:
        with open(path, "r", encoding="latin-1") as f:
            value = json.load(f)
    except (OSError, ValueError):
        return {}
    return value if isinstance(value, dict) else {}


def field(record, name, default=0):
    """A field of a state file, wherever it stands in it (the records may nest)."""
    if name in record:
        return record[name]
    for value in record.values():
        if isinstance(value, dict):
            found = field(value, name, None)
            if found is not None:
                return found
    return default


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
    installed = read_json(os.path.join(updates, "installed.json"))
    try:
        with open(os.path.join(updates, "staged_manifest.txt"), "rb") as f:
            staged = f.read()
        with open(new_text, "rb") as f:
            wanted = f.read()
    except OSError:
        return False
    return field(installed, "staged_%s_version" % kind) == new_manifest[kind]["version"] and staged == wanted


def finished_at_start(repair_log, kind, new_manifest):
    """Whether the run's worker swapped the waiting part in first, before it talked to the update
    server (its "waiting parts" line)."""
    wanted = "%s version %d swapped in" % (kind, new_manifest[kind]["version"])
    return any(" waiting parts: " in line and wanted in line for line in repair_log.decode("latin-1").splitlines())


def damaged_files(game, login_txt):
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
        if text != login_txt:
            problems.append("login.txt holds %d bytes, not the game account" % len(text))
    return problems


def up_to_date(game, old_manifest, new_manifest, code, login_txt):
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
    installed = read_json(os.path.join(updates, "installed.json"))
    for kind in KINDS:
        have = field(installed, "%s_version" % kind)
        staged = field(installed, "staged_%s_version" % kind)
        if kind == "launcher" and (have, staged) == (old_manifest[kind]["version"], new_manifest[kind]["version"]):
            # The running launcher is replaced once it has ended: the next start, which finds the
            # new file in place (checked above), records it.
            continue
        if have != new_manifest[kind]["version"] or staged != 0:
            wrong.append("installed.json records %s version %d (staged %d)" % (kind, have, staged))
    new_dll = new_manifest["dll"]["files"]["d3d8.dll"][1]
    if field(installed, "dll_sha512", "") != new_dll:
        wrong.append("installed.json does not record the new DLL's digest")
    if field(read_json(os.path.join(updates, "boot.json")), "pending_sha512", "") != new_dll:
        wrong.append("the new DLL is not on probation in boot.json")
    wrong += damaged_files(game, login_txt)
    return wrong
