#!/usr/bin/env python3
"""Runs a command and prints its own peak resident memory (VmHWM, in kB) and
its wall time (ms), as "PEAK_KB WALL_MS", on stdout. Only the command's own
process is measured, not the processes it starts. Exit status: the command's.

    peak_rss.py COMMAND [ARGS...]
"""
import subprocess
import sys
import time


def vm_hwm(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    start = time.monotonic()
    proc = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL)
    peak = 0
    while proc.poll() is None:
        v = vm_hwm(proc.pid)
        if v:
            peak = max(peak, v)
        time.sleep(0.005)
    wall = int((time.monotonic() - start) * 1000)
    print(peak, wall)
    sys.exit(proc.returncode)


if __name__ == "__main__":
    main()
