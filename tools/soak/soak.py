#!/usr/bin/python3
"""The soak of the launcher's update on a hostile PC (driven by scripts/soak).

It makes two signed releases (old and new) of all four parts, installs the old one in a game folder
with a real launcher run, measures unkilled updates to the new release, then makes N faults, spread
over the fault kinds and over moments of the update. Each fault starts from the old installation
("--no-game" runs), and afterwards the soak checks that every part is wholly old or wholly new and
that no state file or login.txt is cut, and, unless the faulty run already ended up to date, lets one
more run on a healthy PC repair it all. The kinds:

  kill     the launcher's Windows process is killed hard (SIGKILL of the Wine process) at a moment: a
           fraction of the measured run's time; the N-th file-system event in the game folder (pieces
           written, files read for verification, moves into staging); or right after the N-th file
           made, moved or deleted outside staging (every swap and state-file write).
  scanner  an on-access scanner (tools/faults/scanner.cpp, in the same Wine prefix) holds every
           file made, written or renamed in the game folder for 50-1500 ms: the update must still
           finish in its own run.
  disk     the game folder lies on a small file system of its own that is filled up at a moment.
  net      the fault proxy between the launcher and the reference servers: a delay and a bandwidth
           cap, a reset at a chosen byte (hello, manifest, a piece, an account exchange), a stall
           longer than the launcher's limits, or refused connections; every run must end by itself
           within the launcher's bounds.
  close    the impatient player: the close box pressed at a moment, "Log out" during the update, or
           a second start of the launcher while the first updates.

Two parts cannot change in one move: the bots are swapped file by file and the Java runtime by two
folder moves. Caught among those moves, such a part counts as a swap under way, not as half-replaced,
only when installed.json records it as waiting for the new release (the launcher does so before the
first move) and the next start swaps the rest in by itself, before it talks to the update server.
The running launcher is replaced by a command that waits for it to end; the soak waits for that
command before it checks a finished run.

Run with Debian's /usr/bin/python3 (it needs python3-nacl for the signer). The reference account
and update servers and the fault proxy in front of them must already listen (their control ports are
given); WINEPREFIX and DISPLAY come from the environment; it mounts the small disk itself (as root).
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import time

import checks
import faults
import releases
import runs
from releases import KINDS, LAUNCHER

FAULT_KINDS = ("kill", "scanner", "disk", "net", "close")
MOMENTS = ("time", "event", "change")
NET_FAULTS = ("delay", "reset", "stall", "account", "refuse")
CLOSE_FAULTS = ("close box", "log out", "second start")
# The launcher's own bounds: a connection within 6 s, no 20 s without a byte, a whole answer within
# 60 s, and 20 s for the update worker once the window is closed.
CONNECT_S, IDLE_S, ANSWER_S, WORKER_S = 6, 20, 60, 20
HELLO_ANSWER = len(b"ZANDOR-UPDATE-OK 1\n")


def say(text):
    print("soak: " + text, flush=True)


class Soak:
    """What the soak's steps share: the command line, the places, the releases, the measured run."""

    def __init__(self, args):
        self.args = args
        self.work = args.work
        self.logs = os.path.join(args.work, "logs")
        self.disk = os.path.join(args.work, "disk")  # the small file system of the game folder
        self.game = os.path.join(self.disk, "game")
        self.pristine = os.path.join(args.work, "game_old")
        self.log = os.path.join(self.game, "ombrix_data", "updates", "launcher.log")
        self.runner = runs.Runner(self.game, self.logs)
        self.events = None
        self.login_txt = b""
        self.old_manifest = self.new_manifest = None
        self.old_text = self.new_text = ""
        # Measured on unkilled runs: duration, events, changes, bytes of the update connection, the
        # account connections and the update's requests.
        self.duration = 0.0
        self.event_count = self.change_count = 0
        self.update_bytes = self.account_connections = self.requests = 0

    def reset(self):
        """The old installation again, on a healthy PC."""
        runs.stop_finishers()
        if self.events:
            self.events.close()
        faults.free_disk(self.disk)
        faults.network(self.args.proxy_control, [])
        copy_tree(self.pristine, self.game)
        self.events = runs.FolderEvents(self.game)

    def up_to_date(self, code):
        return checks.up_to_date(self.game, self.old_manifest, self.new_manifest, code, self.login_txt)

    def keep(self, name, killed_log=b""):
        """Keeps the launcher's logs and the game folder of a fault that went wrong."""
        if killed_log:
            with open(os.path.join(self.logs, name + "-faulty-launcher.log"), "wb") as f:
                f.write(killed_log)
        if os.path.exists(self.log):
            shutil.copy(self.log, os.path.join(self.logs, name + "-launcher.log"))
        copy_tree(self.game, os.path.join(self.logs, name + "-game"))


def copy_tree(source, target):
    if os.path.exists(target):
        shutil.rmtree(target)
    shutil.copytree(source, target, symlinks=True)


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


# ---- install ------------------------------------------------------------------------------------

def install(soak):
    """Makes and signs the two releases and installs the old one with a real run; False when it fails."""
    args = soak.args
    for folder in (soak.logs,):
        if os.path.exists(folder):
            shutil.rmtree(folder)
        os.makedirs(folder)
    say("making the old and the new release (all four parts) and signing them")
    old_folder, new_folder = os.path.join(soak.work, "release_old"), os.path.join(soak.work, "release_new")
    releases.make_release(old_folder, 1, args.exe)
    releases.make_release(new_folder, 2, args.exe, old_dll=os.path.join(old_folder, "dll", "d3d8.dll"))
    soak.old_text, soak.new_text = os.path.join(soak.work, "manifest_old.txt"), os.path.join(soak.work, "manifest_new.txt")
    releases.sign(old_folder, args.key, soak.old_text)
    releases.sign(new_folder, args.key, soak.new_text)
    soak.old_manifest, soak.new_manifest = releases.read_manifest(soak.old_text), releases.read_manifest(soak.new_text)
    releases.script_account(args.account_control)
    faults.network(args.proxy_control, [])

    # The old installation, by a real run on a folder that holds only the old launcher and the
    # other component's wish for the bots; the game folder on a small disk of its own.
    faults.mount_small_disk(soak.disk, args.disk_mb)
    if os.path.exists(soak.pristine):
        shutil.rmtree(soak.pristine)
    os.makedirs(os.path.join(soak.game, "ombrix_data", "updates"))
    shutil.copyfile(os.path.join(old_folder, "launcher", LAUNCHER), os.path.join(soak.game, LAUNCHER))
    with open(os.path.join(soak.game, "ombrix_data", "updates", "installed.json"), "w") as f:
        f.write('{\n "channel": "client",\n "bots_wanted": 1,\n "format": 1\n}\n')
    soak.events = runs.FolderEvents(soak.game)
    releases.load_release(args.update_control, soak.old_text, old_folder, 0)
    say("installing the old release with a real run")
    result = soak.runner.run("install.out", soak.events)
    states = [checks.part_state(soak.game, kind, soak.old_manifest, soak.new_manifest)[0] for kind in KINDS]
    if result.code != 0 or states != ["old"] * 4:
        say("the old release was not installed (exit code %s, parts %s); see %s" % (result.code, states, soak.log))
        return False
    soak.login_txt = read_bytes(os.path.join(soak.game, "login.txt"))
    if releases.GAME_NAME.encode() not in soak.login_txt:
        say("the installing run wrote no game account into login.txt")
        return False
    os.remove(os.path.join(soak.game, "login.txt"))  # every run writes it again
    copy_tree(soak.game, soak.pristine)
    releases.load_release(args.update_control, soak.new_text, new_folder, args.pace)
    return True


# ---- measure ------------------------------------------------------------------------------------

def measure(soak):
    """Two unkilled updates on a healthy PC: their duration, file-system events and network figures
    set the fault moments. False when one does not end up to date."""
    soak.reset()
    soak.events.recording = True
    durations, counts, change_counts = [], [], []
    for attempt in range(2):
        soak.events.names = []
        result = soak.runner.run("unkilled-%d.out" % attempt, soak.events)
        runs.wait_for_finishers()
        wrong = soak.up_to_date(result.code)
        if wrong:
            say("an unkilled update did not end up to date: " + "; ".join(wrong))
            soak.keep("unkilled")
            return False
        durations.append(result.seconds)
        counts.append(result.events)
        change_counts.append(result.changes)
        if attempt == 0:
            runs.write_event_list(soak.events, os.path.join(soak.logs, "unkilled-events.txt"))
            soak.events.recording = False
            soak.requests = sum(1 for line in releases.recorded(soak.args.update_control) if line.startswith(b"GET"))
        stats = faults.network_stats(soak.args.proxy_control)
        soak.update_bytes = stats["update"][3]
        soak.account_connections = min(stats["account"][0], soak.account_connections or stats["account"][0])
        soak.reset()
    soak.duration, soak.event_count, soak.change_count = sum(durations) / 2, min(counts), min(change_counts)
    say("an unkilled update takes %.1f s here with %d file-system events in the game folder, %d of them files made, "
        "moved or deleted outside staging; %d requests and %d bytes from the update server, %d account connections"
        % (soak.duration, soak.event_count, soak.change_count, soak.requests, soak.update_bytes,
           soak.account_connections))
    return True


# ---- plan ---------------------------------------------------------------------------------------

class Fault:
    def __init__(self, number, kind, variant, index, how, fraction, seed):
        self.number = number
        self.kind = kind
        self.variant = variant  # what of the kind: a network fault or an impatient player's act
        self.index = index  # the how-manyth fault of its variant: spreads delays, bytes and routes
        self.how = how  # the moment: time, event or change (kill, disk, close)
        self.fraction = fraction  # where in the run, 0..1
        self.seed = seed


def plan(count, kinds, moments, rng):
    """COUNT faults spread evenly over the kinds, and inside each kind over its variants and moments,
    each with a random place inside its slot of the run."""
    planned = []
    for i, kind in enumerate(kinds):
        share = (count + len(kinds) - 1 - i) // len(kinds)
        variants = {"net": NET_FAULTS, "close": CLOSE_FAULTS}.get(kind, ("",))
        for j in range(share):
            # Every variant meets every kind of moment in turn.
            how = "whole run" if kind in ("scanner", "net") else moments[(j // len(variants)) % len(moments)] \
                if len(variants) % len(moments) == 0 else moments[j % len(moments)]
            planned.append((kind, variants[j % len(variants)], j // len(variants), how, (j + rng.random()) / share,
                            rng.randrange(1 << 30)))
    rng.shuffle(planned)
    return [Fault(n, *item) for n, item in enumerate(planned, 1)]


# ---- the faults ---------------------------------------------------------------------------------

class Outcome:
    """What one fault's run left, for judging."""

    def __init__(self, label):
        self.label = label
        self.result = None  # the faulty run's RunResult
        self.notes = []  # what the fault saw, for the report
        self.problems = []  # what went wrong beyond the folder's state
        self.bound = None  # seconds the run had to end within (net)
        self.missed = False  # every run ended before its moment
        self.state = ""  # each part's state after the faulty run
        self.held = self.longest_hold = 0  # the scanner's holds and the longest of them, in ms


def moment_of(soak, fault):
    if fault.how == "time":
        at = fault.fraction * soak.duration
        return ("time", at), "%.2f s" % at
    total = soak.event_count if fault.how == "event" else soak.change_count
    at = int(fault.fraction * total) + 1
    return (fault.how, at), "%s %d" % (fault.how, at)


def run_at_moment(soak, fault, outcome, act, what):
    """Runs until the act at the fault's moment was done; a run that ends before its moment was a
    whole run (which must be up to date), and the moment is moved earlier and tried again."""
    limit = soak.duration * 4 + CONNECT_S + ANSWER_S + WORKER_S
    outcome.bound = limit
    for _ in range(5):
        moment, where = moment_of(soak, fault)
        outcome.label = "%s %d/%d: %s at %s" % (fault.kind, fault.number, soak.args.faults, what, where)
        result = soak.runner.run("fault-%03d.out" % fault.number, soak.events, moment=moment, act=act, limit=limit)
        if result.acted:
            return result
        outcome.notes.append("ended before its moment")
        runs.wait_for_finishers()
        wrong = soak.up_to_date(result.code)
        if wrong:
            outcome.problems.append("the run ended first and is NOT up to date: " + "; ".join(wrong))
        if fault.how == "time":
            soak.duration = min(soak.duration, result.seconds * 0.95)
        elif fault.how == "event":
            soak.event_count = min(soak.event_count, max(1, result.events - 1))
        else:
            soak.change_count = min(soak.change_count, max(1, result.changes - 1))
        soak.reset()
    outcome.missed = True
    return None


def kill_fault(soak, fault, outcome):
    return run_at_moment(soak, fault, outcome, lambda runner, process: runner.kill(process) or True, "kill")


def scanner_fault(soak, fault, outcome):
    outcome.label = "scanner %d/%d" % (fault.number, soak.args.faults)
    scanner = faults.Scanner(soak.args.scanner, soak.game, os.path.join(soak.logs, "scanner-%03d.txt" % fault.number),
                             fault.seed)
    outcome.bound = soak.duration * 4 + 120
    result = soak.runner.run("fault-%03d.out" % fault.number, soak.events, limit=outcome.bound)
    runs.wait_for_finishers()
    held, longest = scanner.stop()
    outcome.notes.append("%d files held, the longest %d ms" % (held, longest))
    outcome.held, outcome.longest_hold = held, longest
    return result


def disk_fault(soak, fault, outcome):
    def fill(runner, process):
        faults.fill_disk(soak.disk)
        return False  # the run goes on, on a full disk

    return run_at_moment(soak, fault, outcome, fill, "disk full")


def net_fault(soak, fault, outcome):
    """Sets the fault proxy for one whole run, which must end by itself within its bound."""
    rng = random.Random(fault.seed)
    port = soak.args.proxy_control
    slow = 0.0
    if fault.variant == "delay":
        rtt = (20, 100, 300)[fault.index % 3]
        rate = rng.choice((0, 2 << 20, 4 << 20))
        faults.network(port, ["DELAY %d" % (rtt // 2), "RATE %d" % rate])
        what = "round trip %d ms%s" % (rtt, ", %d KiB/s" % (rate >> 10) if rate else "")
        # Each request waits a round trip more, and the bytes pass no faster than the cap.
        slow = (soak.requests + 10) * rtt / 1000.0 + (soak.update_bytes / rate if rate else 0)
    elif fault.variant in ("reset", "stall"):
        # A byte in the hello's answer, the manifest's answer or a piece, by turns.
        manifest = os.path.getsize(soak.new_text) + len(b"OK %d\n" % os.path.getsize(soak.new_text))
        place = ("hello", "manifest", "piece")[fault.index % 3]
        if place == "hello":
            byte = rng.randrange(HELLO_ANSWER)
        elif place == "manifest":
            byte = HELLO_ANSWER + int(fault.fraction * manifest)
        else:
            byte = HELLO_ANSWER + manifest + int(fault.fraction * max(1, soak.update_bytes - HELLO_ANSWER - manifest))
        faults.network(port, ["%s update %d" % ("CUT" if fault.variant == "reset" else "STALL", byte)])
        what = "%s at byte %d (in the %s)" % (fault.variant, byte, place)
    elif fault.variant == "account":
        number = 1 + fault.index % max(1, soak.account_connections)
        byte = rng.randrange(1, 200)
        verb = rng.choice(("CUT", "CUTUP", "STALL"))
        faults.network(port, ["%s account %d %d" % (verb, byte, number)])
        what = "%s of account exchange %d at byte %d" % ({"CUT": "reset", "CUTUP": "reset (request)",
                                                          "STALL": "stall"}[verb], number, byte)
    else:
        route = ("update", "account")[fault.index % 2]
        faults.network(port, ["REFUSE " + route])
        what = "%s connections refused" % route
    outcome.label = "net %d/%d: %s" % (fault.number, soak.args.faults, what)
    outcome.bound = soak.duration * 1.5 + slow + CONNECT_S + ANSWER_S + IDLE_S + WORKER_S
    result = soak.runner.run("fault-%03d.out" % fault.number, soak.events, limit=outcome.bound * 2)
    stats = faults.network_stats(port)
    outcome.notes.append("update connections %d, %d bytes from the server; account connections %d" % (
        stats["update"][0], stats["update"][3], stats["account"][0]))
    if fault.variant not in ("delay", "refuse") and not any(s[1] for s in stats.values()):
        outcome.notes.append("the fault's connection was not made")
    faults.network(port, [])
    if result.seconds > outcome.bound and not result.hung:
        outcome.problems.append("the run took %.1f s, beyond its bound of %.0f s" % (result.seconds, outcome.bound))
    return result


def close_fault(soak, fault, outcome):
    second = {}

    def close_box(runner, process):
        if not faults.click_close_box(runner.windows_pid(process)):
            outcome.notes.append("no window to close")
        return False

    def log_out(runner, process):
        pid = runner.windows_pid(process)
        if not faults.click_log_out(pid):
            outcome.notes.append("no window to log out in")
            return False
        # The log-in page waits for the player, who then closes the window.
        time.sleep(3)
        faults.click_close_box(pid)
        return False

    def second_start(runner, process):
        second["started"] = time.monotonic()
        second["process"] = runner.launch("fault-%03d-second.out" % fault.number)
        return False

    act = {"close box": close_box, "log out": log_out, "second start": second_start}[fault.variant]
    result = run_at_moment(soak, fault, outcome, act, fault.variant)
    if "process" in second:
        try:
            code = second["process"].wait(timeout=CONNECT_S + ANSWER_S + WORKER_S)
            outcome.notes.append("the second start ended with %d after %.1f s" % (code, time.monotonic() - second["started"]))
            if code != 0:
                outcome.problems.append("the second start ended with exit code %d" % code)
        except subprocess.TimeoutExpired:
            outcome.problems.append("the second start did not end by itself")
            soak.runner.kill(second["process"])
            second["process"].wait()
    return result


FAULT_RUNS = {"kill": kill_fault, "scanner": scanner_fault, "disk": disk_fault, "net": net_fault,
              "close": close_fault}


# ---- judge --------------------------------------------------------------------------------------

class Verdict:
    def __init__(self):
        self.half = []  # half-replaced parts
        self.under_way = []  # bots or runtime swaps under way, recorded and finished by the next start
        self.damaged = []  # state files or login.txt cut
        self.not_repaired = []  # what the next run on a healthy PC left wrong
        self.own_run = False  # the faulty run itself ended up to date
        self.disk_said = False  # the log names a full disk


def judge(soak, fault, outcome):
    """Checks the folder the faulty run left, then repairs it on a healthy PC (unless it is up to date)."""
    verdict = Verdict()
    result = outcome.result
    if result is None:
        return verdict
    faults.free_disk(soak.disk)
    if result.hung:
        outcome.problems.append("the run did not end by itself within %.0f s" % (outcome.bound or 0))
    if not result.killed:
        runs.wait_for_finishers()
    game, old, new = soak.game, soak.old_manifest, soak.new_manifest
    states = {kind: checks.part_state(game, kind, old, new) for kind in KINDS}
    half = [kind for kind in KINDS if states[kind][0] == "half"]
    verdict.under_way = [kind for kind in half
                         if checks.recorded_under_way(game, kind, states[kind][1], new, soak.new_text)]
    verdict.half = ["%s (%s)" % (kind, states[kind][1]) for kind in half if kind not in verdict.under_way]
    verdict.damaged = checks.damaged_files(game, soak.login_txt)
    faulty_log = read_bytes(soak.log)
    text = faulty_log.decode("latin-1")
    verdict.disk_said = any(words in text for words in ("error 112", "error 39", "disk is full", "not enough space"))
    with open(os.path.join(soak.logs, "fault-%03d-launcher.log" % fault.number), "wb") as f:
        f.write(faulty_log)
    outcome.state = ", ".join("%s %s" % (kind, "under way" if kind in verdict.under_way else states[kind][0])
                              for kind in KINDS)
    if not result.killed and not result.hung and not soak.up_to_date(result.code):
        verdict.own_run = True
        return verdict
    if fault.kind == "scanner":
        # A scanner's short holds must not cost the player the update.
        errors = [line for line in text.splitlines() if "(error " in line or "in use" in line]
        outcome.problems.append("the update did NOT finish in its own run%s" % (": " + errors[0][20:].strip()
                                                                              if errors else ""))
    repair = soak.runner.run("repair-%03d.out" % fault.number, soak.events)
    runs.wait_for_finishers()
    wrong = soak.up_to_date(repair.code)
    repair_log = read_bytes(soak.log)[len(faulty_log):]
    for kind in verdict.under_way:
        if not checks.finished_at_start(repair_log, kind, new):
            wrong.append("the next start did not finish the %s swap under way by itself" % kind)
    verdict.not_repaired = wrong
    return verdict


# ---- report -------------------------------------------------------------------------------------

def report(soak, done, started):
    """One line per kind, then the closing line; gives the exit status."""
    half = sum(len(v.half) for _, _, v in done)
    not_repaired = sum(1 for _, _, v in done if v.not_repaired)
    other = sum(len(o.problems) + len(v.damaged) + (1 if o.missed else 0) for _, o, v in done)
    by_kind = {}
    for fault, outcome, verdict in done:
        by_kind.setdefault(fault.kind, []).append((fault, outcome, verdict))
    for kind in FAULT_KINDS:
        items = by_kind.get(kind)
        if not items:
            continue
        problems = sum(len(o.problems) + len(v.damaged) + (1 if o.missed else 0) for _, o, v in items)
        counts = {}
        for fault, _, _ in items:
            name = fault.variant or fault.how
            counts[name] = counts.get(name, 0) + 1
        spread = ", ".join("%s %d" % item for item in sorted(counts.items()))
        results = [o.result for _, o, _ in items if o.result]
        if kind == "kill":
            seen = "%d swaps under way finished by the next start" % sum(len(v.under_way) for _, _, v in items)
        elif kind == "scanner":
            own = sum(1 for _, _, v in items if v.own_run)
            with_scanner = sum(r.seconds for r in results) / max(1, len(results))
            seen = "%d of %d updates finished in their own run; %d files held, the longest %d ms; an update takes " \
                   "%.1f s with the scanner, %.1f s without" % (
                       own, len(items), sum(o.held for _, o, _ in items),
                       max(o.longest_hold for _, o, _ in items), with_scanner, soak.duration)
        elif kind == "disk":
            seen = "%d runs logged a full disk; %d ended by themselves" % (
                sum(1 for _, _, v in items if v.disk_said), sum(1 for r in results if not r.hung))
        elif kind == "net":
            longest = max(items, key=lambda item: item[1].result.seconds if item[1].result else 0)
            seen = "the longest run %.1f s against its bound of %.0f s (%s)" % (
                longest[1].result.seconds, longest[1].bound, longest[1].label.split(": ", 1)[-1])
        else:
            seen = "%d runs ended by themselves" % sum(1 for r in results if not r.hung)
        print("%s: %d faults (%s): %s%s" % (kind, len(items), spread, seen,
                                            "; %d other problems" % problems if problems else ""), flush=True)
    say("%d faults in %.1f min; logs in %s" % (len(done), (time.monotonic() - started) / 60, soak.logs))
    print("%d faults: %d half-replaced parts, %d runs that did not repair" % (len(done), half, not_repaired),
          flush=True)
    return 0 if half == 0 and not_repaired == 0 and other == 0 else 1


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--faults", type=int, required=True, help="how many faults")
    parser.add_argument("--kinds", default=",".join(FAULT_KINDS), help="a comma list of " + ",".join(FAULT_KINDS))
    parser.add_argument("--work", required=True)
    parser.add_argument("--exe", required=True, help="the built launcher")
    parser.add_argument("--scanner", help="the built scanner tool (for the scanner faults)")
    parser.add_argument("--key", required=True, help="the release key the launcher trusts")
    parser.add_argument("--update-control", type=int, required=True)
    parser.add_argument("--account-control", type=int, required=True)
    parser.add_argument("--proxy-control", type=int, required=True)
    parser.add_argument("--pace", type=int, default=10, help="milliseconds before each piece")
    parser.add_argument("--disk-mb", type=int, default=96, help="the size of the game folder's small disk")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--moments", default=",".join(MOMENTS), help="which moments to use, of time, event and change")
    args = parser.parse_args(argv)
    kinds = [k for k in FAULT_KINDS if k in args.kinds.split(",")]
    moments = [m for m in MOMENTS if m in args.moments.split(",")]
    unknown = set(args.kinds.split(",")) - set(FAULT_KINDS)
    if not kinds or unknown:
        raise SystemExit("soak: --faults takes a comma list of %s" % ",".join(FAULT_KINDS))
    if not moments:
        raise SystemExit("soak: --moments names none of time, event, change")
    if "scanner" in kinds and not (args.scanner and os.path.exists(args.scanner)):
        raise SystemExit("soak: the scanner tool is not built (%s)" % args.scanner)
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    soak = Soak(args)
    try:
        if not install(soak) or not measure(soak):
            return 2
        say("%d faults over %s (seed %d)" % (args.faults, ", ".join(kinds), seed))
        started = time.monotonic()
        done = []
        for fault in plan(args.faults, kinds, moments, random.Random(seed)):
            outcome = Outcome("%s %d/%d" % (fault.kind, fault.number, args.faults))
            outcome.result = FAULT_RUNS[fault.kind](soak, fault, outcome)
            verdict = judge(soak, fault, outcome)
            done.append((fault, outcome, verdict))
            tell(soak, fault, outcome, verdict)
            soak.reset()
        return report(soak, done, started)
    finally:
        runs.stop_finishers()
        if soak.events:
            soak.events.close()
        faults.unmount_small_disk(soak.disk)


def tell(soak, fault, outcome, verdict):
    """The fault's line; keeps the logs and the folder of one that went wrong."""
    notes = "; ".join(outcome.notes)
    if outcome.missed:
        say("%s: every run ended before its moment" % outcome.label)
        return
    wrong = []
    if verdict.half:
        wrong.append("HALF-REPLACED " + "; ".join(verdict.half))
    if verdict.damaged:
        wrong.append("DAMAGED " + "; ".join(verdict.damaged))
    wrong += outcome.problems
    if verdict.not_repaired:
        wrong.append("the next run did NOT repair it: " + "; ".join(verdict.not_repaired))
    how = "finished in its own run" if verdict.own_run else "repaired"
    if verdict.under_way and not verdict.not_repaired:
        how += "; the swap under way (%s) finished by the next start" % ", ".join(verdict.under_way)
    if wrong:
        say("%s: %s; %s" % (outcome.label, outcome.state, "; ".join(wrong)))
        soak.keep("fault-%03d" % fault.number)
    else:
        say("%s: %s; %s%s" % (outcome.label, outcome.state, how, " (%s)" % notes if notes else ""))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
