#!/usr/bin/env python3
"""Keeps the pictures in docs/ current: plays the scenario that draws them (every expectation
in it must hold) and compares each PNG it writes, pixel for pixel, with the one in the docs.

Usage: check_docs_pictures.py HOST SCENARIO DOCS_FOLDER OUT_FOLDER

A picture that differs, or that the docs lack, fails the test with the command that draws the
pictures again (the scenario's own, run into DOCS_FOLDER). Pixels, not bytes, are compared: a
PNG encoder may pack the same pixels differently.
"""
import os
import shutil
import subprocess
import sys


def pixels(path):
    """The picture's size and its pixels as 8-bit RGBA."""
    size = subprocess.run(["/usr/bin/identify", "-format", "%wx%h", path], check=True,
                          capture_output=True, text=True).stdout
    rgba = subprocess.run(["/usr/bin/convert", path, "-depth", "8", "rgba:-"], check=True,
                          capture_output=True).stdout
    return size, rgba


def main(host, scenario, docs, out):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    played = subprocess.run([host, "run", scenario, "--output", out], capture_output=True,
                            text=True, env=dict(os.environ, SDL_AUDIODRIVER="dummy"))
    print(played.stdout + played.stderr, end="")
    if played.returncode != 0:
        return f"{scenario} failed (exit {played.returncode})"
    drawn = sorted(name for name in os.listdir(out) if name.endswith(".png"))
    if not drawn:
        return f"{scenario} drew no PNG picture"
    stale = []
    for name in drawn:
        kept = os.path.join(docs, name)
        if not os.path.exists(kept):
            stale.append(f"{name} (not in {docs})")
        elif pixels(kept) != pixels(os.path.join(out, name)):
            stale.append(f"{name} (differs)")
    if stale:
        root = os.path.abspath(scenario).rsplit(os.sep + "docs" + os.sep, 1)[0]
        return (f"pictures in {docs} no longer show what {scenario} draws: {', '.join(stale)}\n"
                f"draw them again: build/release/ins-host run {os.path.relpath(scenario, root)} "
                f"--output {os.path.relpath(docs, root)}")
    print(f"{len(drawn)} pictures in {docs} the same, pixel for pixel, as the scenario draws them")
    return None


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    failure = main(*sys.argv[1:])
    if failure:
        sys.exit(failure)
