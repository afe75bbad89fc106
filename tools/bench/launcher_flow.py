#!/usr/bin/python3
"""Drives the real launcher under Wine for the start and log-in figures (run by launcher_flow.sh).

  launcher_flow.py --game FOLDER --account-control PORT --out FILE [--starts N]

The reference account server (link on 20293) and update server (20292, the release loaded) run
already; WINEPREFIX and DISPLAY are set; the game folder holds the launcher, pes6.exe (the stand-in
game) and zandor.ini with the server chosen.

1. The poll: with nothing saved, the account server refuses AUTO; the log-in button is clicked; the
   server answers every WEBPOLL "not yet". The launcher's CPU (utime + stime of its process) is read
   over 10 s while it waits for the browser, with the number of polls it made meanwhile.
2. A start that saves the log-in (AUTO recognises the PC) and installs the release.
3. N starts with the saved log-in (RENEW) and nothing to update: from the process start to the moment
   the game's process exists, and the launcher's own CPU time (rusage at its exit).
Figures are written to FILE as "@name value" lines.
"""
import argparse
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "demo"))
import services  # noqa: E402  (the demo account's answers)
import control_client  # noqa: E402  (services put its folder on the path)

TICK = os.sysconf("SC_CLK_TCK")


def control(port, lines):
    return control_client.control(port, lines, who="launcher_flow", timeout=10, free=("COUNT", "LAST"))


def hexed(text):
    return text.encode().hex()


def game_account():
    b64 = services.b64
    return "\t".join(["GAME", b64(services.GAME_NAME), b64(services.GAME_PASSWORD), services.GAME_SERIAL])


def log_text(game):
    try:
        with open(os.path.join(game, "ombrix_data", "updates", "launcher.log"), "rb") as f:
            return f.read().decode("latin-1")
    except OSError:
        return ""


def wait_log(game, text, seconds, process):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if text in log_text(game):
            return True
        if process.poll() is not None:
            return text in log_text(game)
        time.sleep(0.05)
    return False


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def start_launcher(game):
    # BENCH_WINE: the loader of the build measured (Wine's 64-bit one for the x86-64 build).
    return subprocess.Popen([os.environ.get("BENCH_WINE", "wine"), os.path.join(game, "ZANDOR Launcher.exe")], cwd=game,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def launcher_pid(process):
    """The Unix process that runs the launcher: the wine command itself once it has exec'd."""
    deadline = time.time() + 20
    while time.time() < deadline:
        try:
            with open("/proc/%d/cmdline" % process.pid, "rb") as f:
                if b"ZANDOR Launcher.exe" in f.read() and process.poll() is None:
                    return process.pid
        except OSError:
            pass
        time.sleep(0.01)
    raise SystemExit("launcher_flow: the launcher's process was not found")


def find_window():
    deadline = time.time() + 30
    while time.time() < deadline:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^ZANDOR Launcher$"],
                               capture_output=True, text=True).stdout.split()
        if found:
            return found[-1]
        time.sleep(0.2)
    raise SystemExit("launcher_flow: the launcher's window did not show")


def click_at(window, x, y, client_height):
    """A point of the page (96 dpi) whose client area is 600 wide, as scripts/demo clicks it."""
    geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True,
                              text=True).stdout
    width = int(re.search(r"WIDTH=(\d+)", geometry).group(1))
    height = int(re.search(r"HEIGHT=(\d+)", geometry).group(1))
    border = (width - 600) // 2
    subprocess.run(["xdotool", "mousemove", "--window", window, str(border + x),
                    str(height - border - client_height + y), "sleep", "0.2", "click", "1"], check=True)


def link_count(port):
    return int(control(port, ["COUNT"])[0])


def webpolls(port, connections):
    """How many of the last connections carried a WEBPOLL request."""
    lines = ["LAST %d" % k for k in range(1, connections + 1)]
    requests = [answer.split()[-1] for answer in control(port, lines)] if lines else []
    return sum(1 for r in requests if r != "-" and bytes.fromhex(r).startswith(b"WEBPOLL"))


def measure_poll(game, port, seconds, out):
    control(port, ["RESET",
                   "ANSWER WEBLOGIN " + hexed("\t".join(["REQUEST", "bench-request-1", "bench-poll-key-1",
                                                          services.DEMO_CODE, "http://127.0.0.1:20294/login",
                                                          "600000"])),
                   "DEFAULT WEBPOLL " + hexed("PENDING"),
                   "DEFAULT AUTO " + hexed("DENIED\tunknown_pc\t"),
                   "DEFAULT GAMEACCOUNT " + hexed(game_account())])
    process = start_launcher(game)
    try:
        pid = launcher_pid(process)
        if not wait_log(game, "no automatic log-in by IP", 60, process):
            raise SystemExit("launcher_flow: the log-in page did not come")
        window = find_window()
        time.sleep(0.5)
        click_at(window, 446, 340, 452)
        if not wait_log(game, "browser log-in: the page is opened", 30, process):
            raise SystemExit("launcher_flow: the browser log-in did not start")
        time.sleep(2.5)  # the first poll is under way; the window has settled
        polls, ticks, start = link_count(port), cpu_ticks(pid), time.time()
        time.sleep(seconds)
        connections, ticks, wall = link_count(port) - polls, cpu_ticks(pid) - ticks, time.time() - start
        polls = webpolls(port, connections)
        out.write("@wait_cpu_ms %.0f\n@wait_wall_ms %.0f\n@wait_polls %d\n@wait_connections %d\n"
                  % (ticks * 1000.0 / TICK, wall * 1000, polls, connections))
    finally:
        process.kill()  # the launcher started above, by its own process
        process.wait()


def game_started_at(launcher, deadline):
    """The time at which a pes6.exe process first shows, watching processes newer than the launcher."""
    while time.time() < deadline:
        now = time.time()
        for name in os.listdir("/proc"):
            # Read again on every pass: a new process shows its final command line only after exec.
            if not name.isdigit() or int(name) <= launcher:
                continue
            try:
                with open("/proc/%s/cmdline" % name, "rb") as f:
                    if b"pes6.exe" in f.read().lower():
                        return now
            except OSError:
                pass
        time.sleep(0.005)
    return None


def timed_start(game):
    """One start: (ms to the game's process, launcher CPU ms at its exit)."""
    started = os.path.join(game, "started.txt")
    if os.path.exists(started):
        os.remove(started)
    t0 = time.time()
    process = start_launcher(game)
    seen = game_started_at(process.pid, t0 + 60)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = status
    for _ in range(200):  # the stand-in game writes its file once its own start is done
        if os.path.exists(started):
            break
        time.sleep(0.05)
    if seen is None or not os.path.exists(started):
        raise SystemExit("launcher_flow: the game did not start; the log ends:\n" + log_text(game)[-1500:])
    return (seen - t0) * 1000, (usage.ru_utime + usage.ru_stime) * 1000


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--game", required=True)
    parser.add_argument("--account-control", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--starts", type=int, default=3)
    args = parser.parse_args()
    game, port = args.game, args.account_control
    with open(args.out, "w") as out:
        measure_poll(game, port, 10, out)
        out.flush()

        login = services.login_answer()
        control(port, ["RESET", "DEFAULT AUTO " + hexed(login), "DEFAULT RENEW " + hexed(login),
                       "DEFAULT GAMEACCOUNT " + hexed(game_account())])
        timed_start(game)  # logs in by the PC and installs the release
        log = log_text(game)
        if "logged in automatically" not in log or "applied 0x" not in log:
            raise SystemExit("launcher_flow: the first start did not log in and install the release")

        best = None
        for _ in range(args.starts):
            before = len(log_text(game))
            total, cpu = timed_start(game)
            run_log = log_text(game)[before:]
            if "log-in renewed" not in run_log or "newer 0x0," not in run_log:
                raise SystemExit("launcher_flow: a start did not renew the log-in with nothing to update:\n" + run_log)
            out.write("@start_round %.0f %.0f\n" % (total, cpu))
            if best is None or total < best[0]:
                best = (total, cpu)
        out.write("@start_ms %.0f\n@start_cpu_ms %.0f\n" % best)


if __name__ == "__main__":
    main()
