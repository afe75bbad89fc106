"""The hostile PC the soak puts the launcher on: an on-access scanner in the game folder, a disk that
fills up, a bad network (through the fault proxy's control port) and an impatient player's clicks."""
import os
import subprocess
import time

from releases import control

# ---- the on-access scanner ----------------------------------------------------------------------


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class Scanner:
    """tools/faults/scanner.cpp running in the soak's Wine prefix on the game folder."""

    def __init__(self, exe, game, log, seed, hold_ms=(50, 1500)):
        self.log = log
        self.stop_file = log + ".stop"
        for path in (log, self.stop_file):
            if os.path.exists(path):
                os.remove(path)
        self.process = subprocess.Popen(["wine", exe, windows_path(game), windows_path(log),
                                         windows_path(self.stop_file), str(hold_ms[0]), str(hold_ms[1]), str(seed)],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        # It watches once its log has its first line.
        for _ in range(600):
            if os.path.exists(log) and os.path.getsize(log) > 0:
                break
            if self.process.poll() is not None:
                raise SystemExit("soak: the scanner did not start (exit code %s)" % self.process.returncode)
            time.sleep(0.05)

    def stop(self):
        """Ends the scanner; gives (files held, the longest hold in ms)."""
        with open(self.stop_file, "w"):
            pass
        try:
            self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, 9)
            self.process.wait()
        held, longest = 0, 0
        with open(self.log, "r", encoding="latin-1") as f:
            for line in f:
                words = line.split()
                if words[:1] == ["held"] and len(words) > 2 and words[2] == "ms":
                    held += 1
                    longest = max(longest, int(words[1]))
        return held, longest


# ---- the full disk ------------------------------------------------------------------------------

FILLER = "soak-filler.bin"


def mount_small_disk(folder, megabytes):
    """A file system of its own for the game folder: a size-limited tmpfs."""
    unmount_small_disk(folder)
    os.makedirs(folder, exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dm" % megabytes, "soak-game-disk", folder], check=True)


def unmount_small_disk(folder):
    if os.path.ismount(folder):
        subprocess.run(["umount", "-l", folder], check=False)


def fill_disk(disk):
    """Takes every free byte of the disk, so the launcher's next write runs out of space."""
    stat = os.statvfs(disk)
    free = stat.f_bavail * stat.f_frsize
    fd = os.open(os.path.join(disk, FILLER), os.O_WRONLY | os.O_CREAT, 0o644)
    try:
        if free:
            os.posix_fallocate(fd, os.fstat(fd).st_size, free)
    except OSError:
        pass  # it is full already
    finally:
        os.close(fd)


def free_disk(disk):
    path = os.path.join(disk, FILLER)
    if os.path.exists(path):
        os.remove(path)


# ---- the bad network ----------------------------------------------------------------------------

def network(port, lines):
    control(port, ["RESET"] + lines, who="soak: the fault proxy")


def network_stats(port):
    """{route: (connections, faults done, longest connection ms, bytes from the server)}."""
    answer = control(port, ["STATS"], who="soak: the fault proxy")[0].split()[1:]
    stats = {}
    for item in answer:
        name, *numbers = item.split(":")
        stats[name] = tuple(int(n) for n in numbers)
    return stats


# ---- the impatient player -----------------------------------------------------------------------

WINDOW_NAME = "ZANDOR Launcher"
# Where things are in the window Wine draws without a window manager: its fixed frame and caption.
FRAME, CAPTION, CLOSE_BOX = 3, 19, 18
LOG_OUT = (194 + 60, 290 + 19)  # the main page's "Log out", in the client area at 96 dpi


def xdotool(*words):
    return subprocess.run(["xdotool"] + list(words), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True, timeout=30).stdout


def launcher_window(pid, wait=10.0):
    """The launcher's main window (the largest visible window of its process, or by its name),
    waiting a while for it to show; None when it does not."""
    end = time.monotonic() + wait
    while True:
        geometry = shown_window(pid)
        if geometry or time.monotonic() > end:
            return geometry
        time.sleep(0.2)


def shown_window(pid):
    found = xdotool("search", "--onlyvisible", "--pid", str(pid), "--name", WINDOW_NAME).split() or \
        xdotool("search", "--onlyvisible", "--name", "^%s$" % WINDOW_NAME).split()
    best, best_area = None, 0
    for window in found:
        geometry = window_geometry(window)
        if geometry and geometry[2] * geometry[3] > best_area:
            best, best_area = geometry, geometry[2] * geometry[3]
    return best


def window_geometry(window):
    values = {}
    for line in xdotool("getwindowgeometry", "--shell", window).splitlines():
        name, _, value = line.partition("=")
        values[name] = value
    try:
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])
    except (KeyError, ValueError):
        return None


def click(x, y):
    xdotool("mousemove", str(x), str(y), "sleep", "0.15", "click", "1")


def click_close_box(pid):
    """The player presses the close box; False when no window is shown."""
    geometry = launcher_window(pid)
    if not geometry:
        return False
    x, y, width, _ = geometry
    click(x + width - FRAME - CLOSE_BOX // 2 - 1, y + FRAME + CLOSE_BOX // 2)
    return True


def click_log_out(pid):
    geometry = launcher_window(pid)
    if not geometry:
        return False
    x, y, _, _ = geometry
    click(x + FRAME + LOG_OUT[0], y + FRAME + CAPTION + LOG_OUT[1])
    return True
