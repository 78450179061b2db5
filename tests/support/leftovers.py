#!/usr/bin/env python3
"""Runs after every other test of the test command: fails when a process
that a test started is still running (a stand-in daemon, a command host,
the tool, a harness), or when some test made the build folder a data root.

The tests' processes are known by the variable every test gets from ctest
(KESTRO_TEST_RUN=<build folder>) and hands down to what it starts; other
runs on the machine carry another value or none. What is found is listed,
then ended and removed, so that the next run is judged on its own.

    leftovers.py BUILD_FOLDER
"""
import os
import shutil
import signal
import sys
import time

DATA_ROOT_FOLDERS = ("cache", "editing", "local", "original", "settings", "trash")
# A stand-in that a test has just closed may still be on its way out.
GRACE_SECONDS = 30


def processes_of_the_run(marker):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) in (os.getpid(), os.getppid()):
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                variables = f.read().split(b"\0")
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                command = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
        except OSError:
            continue  # gone, or not ours to read
        if marker in variables:
            found.append((int(entry), command))
    return found


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = sys.argv[1]
    marker = f"KESTRO_TEST_RUN={build}".encode()
    failed = False

    until = time.monotonic() + GRACE_SECONDS
    left = processes_of_the_run(marker)
    while left and time.monotonic() < until:
        time.sleep(0.2)
        left = processes_of_the_run(marker)
    for pid, command in left:
        print(f"left running by a test: {pid} {command}")
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
        failed = True

    for name in DATA_ROOT_FOLDERS:
        path = os.path.join(build, name)
        if os.path.isdir(path):
            print(f"the build folder was used as a data root: {path}")
            shutil.rmtree(path, ignore_errors=True)
            failed = True

    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
