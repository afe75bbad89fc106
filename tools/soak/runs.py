"""Running the launcher under Wine in the soak: the file-system events of the game folder, one run
with an act at a chosen moment, and the command that puts a new launcher in place after a run."""
import ctypes
import os
import select
import signal
import struct
import subprocess
import time

from releases import LAUNCHER


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

    def kill(self, process):
        try:
            os.kill(self.windows_pid(process), signal.SIGKILL)
        except ProcessLookupError:
            pass

    def run(self, log_name, events, moment=None, act=None, limit=600):
        """One launcher run. At the moment ("time", seconds), ("event", count) or ("change", count),
        act(runner, process) is done once: it gives True when it ended the run (a kill), else the run
        goes on to its own end. A run that does not end within limit seconds is killed.
        Gives a RunResult."""
        events.drain()
        first = events.count
        first_change = events.changes
        started = time.monotonic()
        process = self.launch(log_name)
        result = RunResult()
        how, at = moment if moment else (None, None)
        while process.poll() is None:
            timeout = 0.05
            if how == "time" and not result.acted:
                timeout = max(0.0, min(timeout, started + at - time.monotonic()))
            select.select([events.fd], [], [], timeout)
            events.drain()
            now = time.monotonic()
            due = not result.acted and (
                (how == "time" and now - started >= at) or
                (how == "event" and events.count - first >= at) or
                (how == "change" and events.changes - first_change >= at))
            if due and process.poll() is None:
                result.acted = True
                result.acted_at = now - started
                if act(self, process):
                    result.killed = True
                    break
            if now - started > limit:
                self.kill(process)
                result.hung = True
                break
        result.seconds = time.monotonic() - started
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        # Whatever the launcher had still running in Wine has ended with it.
        time.sleep(0.05)
        events.drain()
        result.code = None if (result.killed or result.hung) and process.returncode != 0 else process.returncode
        result.events = events.count - first
        result.changes = events.changes - first_change
        return result


class RunResult:
    def __init__(self):
        self.seconds = 0.0
        self.code = None  # the exit code; None when the run was killed
        self.events = 0  # file-system events seen in the game folder
        self.changes = 0  # of them, files made, moved or deleted outside staging
        self.acted = False  # the act was done at its moment
        self.acted_at = 0.0
        self.killed = False  # the act ended the run
        self.hung = False  # the run did not end within its limit and was killed


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


def write_event_list(events, path):
    """The unkilled run's file-system events, for reading where a kill at event N lands."""
    names = {IN_ACCESS: "read", IN_MODIFY: "write", IN_CLOSE_WRITE: "closed", IN_MOVED_FROM: "moved from",
             IN_MOVED_TO: "moved to", IN_CREATE: "created", IN_DELETE: "deleted"}
    with open(path, "w") as f:
        first = events.names[0][0] if events.names else 0
        for number, (when, mask, path_name) in enumerate(events.names, 1):
            what = ", ".join(text for bit, text in names.items() if mask & bit)
            f.write("%5d %7.3f s  %-10s %s\n" % (number, when - first, what, path_name))
