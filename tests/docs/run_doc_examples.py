#!/usr/bin/env python3
"""Runs every fenced example in README.md and docs/*.md, as a reader would run it from the top
of a checkout.

Usage: run_doc_examples.py SOURCE_DIR BUILD_DIR

A fence is an example by its info word:
  ``` or ```scn   a scenario: saved at the top of the checkout and played with `ins-host run`;
                  it must exit 0.
  ```sh           commands, one a line, each run by bash; each must exit 0. Each is also run
                  from a folder below the top (`elsewhere/`), its paths into the checkout
                  written from there (`../examples/...`), as a reader in another folder would:
                  a command's relative paths are the folder it starts in. A line that starts
                  a server (`ins-host serve`) is run until it answers a real request for the
                  panel (and for the plan it was given), then stopped.
  ```text         not an example (a listing, a layout).
An HTML comment `<!-- not run: REASON -->` on the line before a fence skips that example and
must say why.

The checkout the examples run in is a temporary one: examples/ and docs/ copied (an example may
write there, and `copy` reads only files beside the scenario), everything else linked, and
build/dev and build/release both the build under test. Placeholders the docs use stand for
real files: FILE.scn for the README's own scenario, MY.PLN for a bundled plan.
"""
import json
import os
import re
import select
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

FENCE = re.compile(r"^```(\S*)\s*$")
# The checkout's top folders a command names by relative path.
TOP_FOLDERS = ("build/", "examples/", "docs/", "tests/", "scripts/")
SERVER_READY_S = 60
NOT_RUN = re.compile(r"^<!--\s*not run:\s*(\S.*?)\s*-->\s*$")
TIMEOUT_S = 900


def examples(path):
    """(line, kind, text, reason-not-run) of every fenced block of a markdown file."""
    lines = open(path, encoding="utf-8").read().split("\n")
    found = []
    i = 0
    while i < len(lines):
        opening = FENCE.match(lines[i])
        if not opening:
            i += 1
            continue
        start = i
        i += 1
        body = []
        while i < len(lines) and not lines[i].startswith("```"):
            body.append(lines[i])
            i += 1
        i += 1
        previous = NOT_RUN.match(lines[start - 1]) if start > 0 else None
        found.append((start + 1, opening.group(1) or "scn", "\n".join(body) + "\n",
                      previous.group(1) if previous else None))
    return found


def make_checkout(source, build, root):
    for entry in os.listdir(source):
        if entry in ("build", ".git"):
            continue
        if entry in ("examples", "docs"):
            shutil.copytree(os.path.join(source, entry), os.path.join(root, entry))
        else:
            os.symlink(os.path.join(source, entry), os.path.join(root, entry))
    os.makedirs(os.path.join(root, "build"))
    for preset in ("dev", "release"):
        os.symlink(build, os.path.join(root, "build", preset))
    shutil.copy(os.path.join(source, "examples", "NFFN-NSFA-antimeridian.PLN"),
                os.path.join(root, "MY.PLN"))


def run(command, root, where):
    # HOME and TMPDIR are the temporary checkout too: what an example installs into ~ or keeps
    # of a working folder goes with it.
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", HOME=root, TMPDIR=root)
    done = subprocess.run(command, cwd=root, env=env, capture_output=True, text=True,
                          timeout=TIMEOUT_S)
    if done.returncode != 0:
        print(f"{where}: FAILED (exit {done.returncode}): {' '.join(command)}\n"
              f"{done.stdout[-3000:]}{done.stderr[-3000:]}")
        return False
    print(f"{where}: ran {' '.join(command)}")
    return True


def run_scenario(text, root, where, name):
    path = os.path.join(root, name)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)
    return run(["build/release/ins-host", "run", name, "--output", "example-output"], root, where)


def from_elsewhere(line):
    """The command as typed in elsewhere/, one folder below the top: its paths into the
    checkout start with ../ (MY.PLN and FILE.scn, at the top, too)."""
    words = shlex.split(line, comments=True)
    moved = []
    for word in words:
        if word.startswith(TOP_FOLDERS) or word in ("MY.PLN", "FILE.scn"):
            word = "../" + word
        moved.append(shlex.quote(word))
    return " ".join(moved)


def get_json(url):
    with urllib.request.urlopen(url, timeout=10) as reply:
        return reply.status, json.loads(reply.read().decode("utf-8"))


def run_server(line, cwd, root, where):
    """Starts the server the line names on a free port, asks it for the panel (and for the
    plan, when it was given one), then stops it: it must have answered and ended cleanly."""
    # On a free port: the one the line names (or 8080) may be taken.
    words = shlex.split(line, comments=True)
    if "--port" in words:
        del words[words.index("--port"):words.index("--port") + 2]
    command = words + ["--port", "0"]
    env = dict(os.environ, SDL_AUDIODRIVER="dummy", HOME=root, TMPDIR=root)
    server = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True)
    url = None
    deadline = time.monotonic() + SERVER_READY_S
    while url is None and server.poll() is None:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([server.stdout], [], [], left)[0]:
            break
        found = re.search(r"(http://\S+/)", server.stdout.readline())
        url = found.group(1) if found else None
    problem = None
    if url is None:
        problem = "no URL printed"
    else:
        # The panel is published from its first frame on; until then the answer is empty.
        status, panel = get_json(url + "api/panel")
        for _ in range(100):
            if status != 200 or "windows" in panel:
                break
            time.sleep(0.1)
            status, panel = get_json(url + "api/panel")
        if status != 200 or "windows" not in panel:
            problem = f"/api/panel answered {status} without the panel's windows"
        elif "--plan" in line:
            status, plan = get_json(url + "api/plan")
            if status != 200 or not plan.get("plan"):
                problem = "the plan given with --plan is not loaded"
    if server.poll() is None:
        server.send_signal(signal.SIGTERM)
    try:
        out, err = server.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        server.kill()
        out, err = server.communicate()
        problem = problem or "did not stop on SIGTERM"
    if problem is None and server.returncode != 0:
        problem = f"exit {server.returncode}"
    if problem is not None:
        print(f"{where}: FAILED ({problem}): {line}\n{out[-2000:]}{err[-2000:]}")
        return False
    print(f"{where}: served and answered: {line} (in {os.path.relpath(cwd, root)})")
    return True


def run_commands(text, root, where):
    ok = True
    elsewhere = os.path.join(root, "elsewhere")
    os.makedirs(elsewhere, exist_ok=True)
    for number, line in enumerate(text.split("\n")):
        if not shlex.split(line, comments=True):  # a comment or a blank line
            continue
        at = f"{where}+{number}"
        if re.search(r"ins-host serve\b", line):
            ok = run_server(line, root, root, at) and ok
            ok = run_server(from_elsewhere(line), elsewhere, root, at + " elsewhere") and ok
            continue
        ok = run(["bash", "-c", line], root, at) and ok
        if line.lstrip().startswith("build/release/ins-host "):
            ok = run(["bash", "-c", "cd elsewhere && " + from_elsewhere(line)], root,
                     at + " elsewhere") and ok
    return ok


def main():
    source, build = (os.path.abspath(p) for p in sys.argv[1:3])
    pages = [os.path.join(source, "README.md")] + sorted(
        os.path.join(source, "docs", f) for f in os.listdir(os.path.join(source, "docs"))
        if f.endswith(".md"))
    ok = True
    counts = {"run": 0, "not run": 0}
    with tempfile.TemporaryDirectory(prefix="doc-examples-") as root:
        make_checkout(source, build, root)
        readme_scenario = next((text for _, kind, text, reason in examples(pages[0])
                                if kind == "scn" and reason is None), None)
        if readme_scenario is not None:
            with open(os.path.join(root, "FILE.scn"), "w", encoding="utf-8") as out:
                out.write(readme_scenario)
        for page in pages:
            shown = os.path.relpath(page, source)
            for line, kind, text, reason in examples(page):
                where = f"{shown}:{line}"
                if kind == "text":
                    continue
                if reason is not None:
                    print(f"{where}: not run: {reason}")
                    counts["not run"] += 1
                    continue
                counts["run"] += 1
                if kind == "scn":
                    ok = run_scenario(text, root, where, f"example-{line}.scn") and ok
                elif kind == "sh":
                    ok = run_commands(text, root, where) and ok
                else:
                    print(f"{where}: a ```{kind} fence is neither an example nor marked "
                          "<!-- not run: REASON -->")
                    ok = False
    print(f"examples: {counts['run']} run, {counts['not run']} not run")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
