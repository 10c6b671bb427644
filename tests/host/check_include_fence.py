#!/usr/bin/env python3
"""The host's include fence, checked with the include roots each host file is really compiled
with (the build's compile_commands.json), not with the roots the build means to give.

For every distinct set of include options among the host's compile commands, a probe is compiled
with exactly those options for each header of the module tree: no module header but the boundary's
may even be found (rooms that need no boundary header may see none), and the boundary headers
must compile wherever they are found. The live session's and the web server's files may also
include the store's durable file layer (store/durable_file.h), and nothing else of the store.

Usage: check_include_fence.py SOURCE_DIR BUILD_DIR
"""
import json
import pathlib
import shlex
import subprocess
import sys
import tempfile

MODULE_FOLDERS = ["boundary", "core", "store", "state", "nav", "cdu", "msu", "module"]
BOUNDARY = {"boundary/gauge_api.h", "boundary/gauge_vocabulary.h", "boundary/invariants.h"}
WEB_EXTRA = {"store/durable_file.h"}


def include_options(arguments):
    """The options of a compile command that decide what an #include finds."""
    options, i = [], 0
    while i < len(arguments):
        arg = arguments[i]
        for flag in ("-I", "-isystem", "-iquote", "-idirafter"):
            if arg == flag and i + 1 < len(arguments):
                options += [flag, arguments[i + 1]]
                i += 1
                break
            if arg.startswith(flag) and arg != flag and flag == "-I":
                options.append(arg)
                break
        else:
            if arg.startswith("-std=") or arg.startswith("--target") or arg.startswith("-D"):
                options.append(arg)
        i += 1
    return options


def host_commands(source_dir, build_dir):
    """(source file, compiler, include options) of every host file the build compiles."""
    entries = json.loads((build_dir / "compile_commands.json").read_text())
    host = source_dir / "host"
    for entry in entries:
        source = pathlib.Path(entry["directory"], entry["file"]).resolve()
        if host not in source.parents:
            continue
        arguments = entry.get("arguments") or shlex.split(entry["command"])
        yield source, arguments[0], include_options(arguments)


def compiles(compiler, options, header, work):
    probe = work / "probe.cpp"
    probe.write_text(f'#include "{header}"\n')
    result = subprocess.run([compiler, *options, "-fsyntax-only", str(probe)],
                            capture_output=True, text=True)
    return result.returncode == 0, result.stderr


def main():
    source_dir = pathlib.Path(sys.argv[1]).resolve()
    build_dir = pathlib.Path(sys.argv[2]).resolve()
    headers = sorted(str(h.relative_to(source_dir)) for folder in MODULE_FOLDERS
                     for h in (source_dir / folder).glob("*.h"))
    groups = {}
    for source, compiler, options in host_commands(source_dir, build_dir):
        web = any((source_dir / "host" / room) in source.parents for room in ("live", "web"))
        groups.setdefault((compiler, tuple(options), web), []).append(source)
    if not groups:
        print(f"no host file in {build_dir / 'compile_commands.json'}")
        return 1

    faults = 0
    seen_allowed = set()
    with tempfile.TemporaryDirectory() as scratch:
        work = pathlib.Path(scratch)
        for (compiler, options, web), sources in sorted(groups.items()):
            example = sources[0].relative_to(source_dir)
            allowed = BOUNDARY | (WEB_EXTRA if web else set())
            for header in headers:
                ok, errors = compiles(compiler, list(options), header, work)
                if header in allowed:
                    if ok:
                        seen_allowed.add(header)
                    elif "No such file" not in errors:
                        print(f"{example} (and {len(sources) - 1} more): {header} does not "
                              f"compile:\n{errors}")
                        faults += 1
                elif header not in allowed and (ok or "No such file" not in errors):
                    print(f"{example} (and {len(sources) - 1} more): can reach {header} "
                          "through its include roots")
                    faults += 1
    # The probes themselves must work: every header the host may include compiled somewhere.
    for header in sorted(BOUNDARY | WEB_EXTRA):
        if header not in seen_allowed:
            print(f"no host file's include roots reach {header}: the probes are not compiling")
            faults += 1
    if faults:
        print(f"{faults} holes in the host's include fence")
        return 1
    print(f"the host's {sum(len(s) for s in groups.values())} files, in {len(groups)} kinds of "
          f"compile, reach the boundary headers and no other module header")
    return 0


if __name__ == "__main__":
    sys.exit(main())
