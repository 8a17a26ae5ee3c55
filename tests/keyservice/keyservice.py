#!/usr/bin/python3
"""The test key service: start it in the background, stop it, or run it in the foreground.

  keyservice.py start --dir DIR [--servers N]   returns once DIR/service.json exists
  keyservice.py stop --dir DIR                  harmless when nothing runs
  keyservice.py serve --dir DIR [--servers N]   the service itself, in the foreground
"""

import argparse
import json
import os
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
START_TIMEOUT = 60
STOP_TIMEOUT = 10
DEFAULT_IDLE_LIMIT = 3600


def _description_path(directory):
    return os.path.join(directory, "service.json")


def _read_description(directory):
    try:
        with open(_description_path(directory)) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def is_service_process(pid):
    """True when pid runs this script (so a reused pid is never signalled)."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            args = f.read().split(b"\0")
    except OSError:
        return False
    return any(a.endswith(b"keyservice.py") for a in args) and b"serve" in args


def _wait_gone(pid, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if not is_service_process(pid):
            return True
        time.sleep(0.05)
    return not is_service_process(pid)


def stop(directory):
    description = _read_description(directory)
    pid = description.get("pid") if isinstance(description, dict) else None
    if isinstance(pid, int) and is_service_process(pid):
        os.kill(pid, signal.SIGTERM)
        if not _wait_gone(pid, STOP_TIMEOUT):
            os.kill(pid, signal.SIGKILL)
            _wait_gone(pid, STOP_TIMEOUT)
    try:
        os.remove(_description_path(directory))
    except OSError:
        pass
    return 0


def start(directory, servers, idle_limit):
    directory = os.path.abspath(directory)
    os.makedirs(directory, exist_ok=True)
    stop(directory)
    log_path = os.path.join(directory, "service.log")
    with open(log_path, "w") as log, open(os.devnull) as devnull:
        # Own session and no inherited pipes: the caller (CTest) must not wait for the service.
        child = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), "serve", "--dir", directory,
             "--servers", str(servers), "--idle-limit", str(idle_limit)],
            stdin=devnull, stdout=log, stderr=subprocess.STDOUT, close_fds=True,
            start_new_session=True, cwd=directory)
    deadline = time.monotonic() + START_TIMEOUT
    while time.monotonic() < deadline:
        description = _read_description(directory)
        if isinstance(description, dict) and description.get("pid") == child.pid:
            print(json.dumps(description, indent=2))
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.05)
    if child.poll() is None:
        child.kill()
    sys.stderr.write("keyservice: did not start; its log (%s):\n" % log_path)
    with open(log_path) as f:
        sys.stderr.write(f.read()[-4000:])
    return 1


def serve_foreground(directory, servers, idle_limit):
    sys.path.insert(0, HERE)
    from kslib.service import serve

    stop_event = threading.Event()
    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, lambda *_: stop_event.set())
    serve(os.path.abspath(directory), servers, idle_limit, stop_event)
    return 0


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=("start", "stop", "serve"))
    parser.add_argument("--dir", required=True, help="state folder (service.json, CA file, log)")
    parser.add_argument("--servers", type=int, default=3, help="HTTPS cluster instances (default 3)")
    parser.add_argument("--idle-limit", type=int, default=DEFAULT_IDLE_LIMIT,
                        help="stop after this many seconds without a request (0: never)")
    args = parser.parse_args(argv)
    if args.servers < 1:
        parser.error("--servers must be at least 1")
    if args.command == "start":
        return start(args.dir, args.servers, args.idle_limit)
    if args.command == "stop":
        return stop(args.dir)
    return serve_foreground(args.dir, args.servers, args.idle_limit)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
