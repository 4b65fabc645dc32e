#!/usr/bin/env python3
"""Compiles every source file of src/ as a Windows translation unit.

No Windows toolchain for Qt can be installed here, so mingw-w64 checks the
syntax (-fsyntax-only) of each file against the headers at hand: Qt 6 and the
libcurl, nlohmann/json and libqrencode headers of the Linux packages (they pick
the platform from the compiler's macros), the ODBC headers of mingw-w64 itself.
Each file gets the compile definitions, include folders and warning options
CMake recorded for it in BUILD/compile_commands.json; warnings are errors.
A file CMake does not build gets the definitions common to every file.

Usage: windows-check.py BUILD_DIR [JOBS [FILE...]]  (FILEs: only these of src/)
"""

import concurrent.futures
import json
import os
import pathlib
import shlex
import shutil
import subprocess
import sys

COMPILER = "x86_64-w64-mingw32-g++-posix"
QT_INCLUDE = "/usr/include/x86_64-linux-gnu/qt6"
QT_MKSPECS = "/usr/lib/x86_64-linux-gnu/qt6/mkspecs"
# The Linux packages' headers that the sources include, found in these
# folders. Only they are put on the include path: the rest of /usr/include
# belongs to glibc and would hide mingw-w64's own C library.
LINUX_HEADERS = ["curl", "nlohmann", "openssl", "qrencode.h"]
LINUX_INCLUDE = ["/usr/include/x86_64-linux-gnu", "/usr/include"]


def linux_headers_folder(build):
    """A folder holding links to exactly the headers of LINUX_HEADERS."""
    folder = build / "windows-check" / "include"
    folder.mkdir(parents=True, exist_ok=True)
    for name in LINUX_HEADERS:
        found = [pathlib.Path(d) / name for d in LINUX_INCLUDE if (pathlib.Path(d) / name).exists()]
        if not found:
            sys.exit(f"windows-check: no {name} in {' or '.join(LINUX_INCLUDE)} (run scripts/install-deps.sh)")
        link = folder / name
        if link.is_symlink() or link.is_file():
            link.unlink()
        elif link.is_dir():
            shutil.rmtree(link)
        if len(found) == 1:
            link.symlink_to(found[0])
        else:
            merge_folders(link, found)
    return folder


def merge_folders(target, sources):
    """One folder of links to the files of all `sources`, the first one found
    winning: Debian splits OpenSSL's headers between the generic and the
    architecture's include folder."""
    target.mkdir()
    for source in sources:
        for item in source.iterdir():
            if not (target / item.name).exists():
                (target / item.name).symlink_to(item)


def kept_options(command):
    """The options of a Linux compile command that hold on Windows too, an
    include folder joined to its flag (-isystemDIR, -IDIR)."""
    words = shlex.split(command)[1:]
    kept = []
    for i, word in enumerate(words):
        if word in ("-isystem", "-I"):
            continue
        if i > 0 and words[i - 1] in ("-isystem", "-I"):
            word = words[i - 1] + word
        if word.startswith(("-isystem", "-I")):
            kept.append(word.replace(QT_MKSPECS + "/linux-g++", QT_MKSPECS + "/win32-g++"))
        elif word.startswith(("-D", "-W", "-std=")):
            kept.append(word)
    return kept


def options_by_file(build):
    """Each built file's kept options, and the options all of them share."""
    entries = json.loads((build / "compile_commands.json").read_text())
    options = {os.path.realpath(e["file"]): kept_options(e.get("command") or shlex.join(e["arguments"]))
               for e in entries}
    lists = list(options.values())
    common = [o for o in lists[0] if all(o in other for other in lists)] if lists else []
    return options, common


def check(source, options, extra):
    command = [COMPILER, "-fsyntax-only", "-Werror", *options, *extra, source]
    result = subprocess.run(command, capture_output=True, text=True)
    return source, result.returncode, result.stdout + result.stderr


def main():
    build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
    jobs = int(sys.argv[2]) if len(sys.argv) > 2 else os.cpu_count() or 1
    root = pathlib.Path(__file__).resolve().parent.parent
    if not (build / "compile_commands.json").exists():
        sys.exit(f"windows-check: {build}/compile_commands.json is missing: configure the build first")
    options, common = options_by_file(build)
    extra = ["-isystem", str(linux_headers_folder(build))]
    sources = sorted(str(p) for p in (root / "src").rglob("*.cpp"))
    if len(sys.argv) > 3:
        chosen = {os.path.realpath(f) for f in sys.argv[3:]}
        sources = [s for s in sources if os.path.realpath(s) in chosen]
    failed = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        runs = [pool.submit(check, s, options.get(os.path.realpath(s), common), extra) for s in sources]
        for run in concurrent.futures.as_completed(runs):
            source, status, output = run.result()
            if status != 0:
                failed.append(source)
                print(f"== {os.path.relpath(source, root)}\n{output}", end="", flush=True)
    print(f"windows-check: {len(sources) - len(failed)} of {len(sources)} files of src/ compile for Windows")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
