#!/usr/bin/env python3
"""`ins-host link` and `ins-host serve` on a port another program listens on: each exits with
status 2 at once, naming the port, and says nothing of a panel or a link it never had. A link
refused so never reaches FlightGear: the recorded session it was given (flightgear_replay.py, a
real TCP peer that would make it live) sees no connection.

Usage: busy_port_test.py INS_HOST SOURCE_DIR
"""
import json
import os
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from link_harness import start_replay  # noqa: E402

HOST_PROGRAM = sys.argv[1]


def run_on_busy_port(args, port, work):
    """Runs ins-host ARGS on PORT while another socket listens there: (status, stdout, stderr)."""
    done = subprocess.run([HOST_PROGRAM, *args, "--port", str(port), "--workdir", work],
                          capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, SDL_AUDIODRIVER="dummy"))
    return done.returncode, done.stdout, done.stderr


def check_refused(what, status, out, err, port):
    said = out + err
    assert status == 2, f"{what}: status {status}, not 2:\n{said}"
    assert f"port {port}: the port is in use" in err, f"{what}: the busy port is not named:\n{said}"
    for never in ("INS panel at", "live"):
        assert never not in said, f"{what} said {never!r} though it never served:\n{said}"


def main():
    work = tempfile.mkdtemp(prefix="ins-busy-port-")
    busy = socket.socket()
    busy.bind(("127.0.0.1", 0))
    busy.listen(1)
    port = busy.getsockname()[1]
    replay_log = os.path.join(work, "replay.jsonl")
    replay, flightgear = start_replay("flightgear-c172p-phnl.csv", replay_log)
    try:
        status, out, err = run_on_busy_port(
            ["link", "--flightgear", f"127.0.0.1:{flightgear}"], port, os.path.join(work, "link"))
        check_refused("ins-host link", status, out, err, port)
        # A connection the link made would be noted when it closed, with the process's end.
        time.sleep(0.5)
        with open(replay_log, "a+") as f:
            f.seek(0)
            events = [json.loads(line) for line in f if line.strip()]
        assert not events, f"the refused link reached FlightGear: {events}"
        status, out, err = run_on_busy_port(["serve"], port, os.path.join(work, "serve"))
        check_refused("ins-host serve", status, out, err, port)
    finally:
        replay.kill()
        replay.wait()
        busy.close()
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
