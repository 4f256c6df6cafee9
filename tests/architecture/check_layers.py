#!/usr/bin/env python3
"""Every #include under src/ points down the layers, never up:

  0 platform
  1 records, exchange, sync, and the cores of search, print and diaries
  2 shell
  3 the windows: comm, print, search, diaries, browser
  4 mainwindow
  5 app

A file may include files of its own layer and of the layers below.
The cores are the files of the core library (CMakeLists.txt's
PB_CORE_SOURCES) and their headers. Prints each arrow that points up and
exits 1 when there is one.
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
src = root / "src"

FOLDERS = {"platform": 0, "records": 1, "exchange": 1, "sync": 1, "shell": 2, "comm": 3, "print": 3, "search": 3,
           "diaries": 3, "browser": 3, "mainwindow": 4, "app": 5}

cmake = (root / "CMakeLists.txt").read_text()
core_list = re.search(r"set\(PB_CORE_SOURCES(.*?)\)", cmake, re.S)
if not core_list:
    sys.exit("CMakeLists.txt has no PB_CORE_SOURCES list")
cores = {pathlib.Path(p).with_suffix("").as_posix().removeprefix("src/") for p in core_list.group(1).split()}


def layer(rel):
    """rel: a path below src/ such as "search/Search.h"."""
    stem = pathlib.PurePosixPath(rel).with_suffix("").as_posix()
    folder = rel.split("/", 1)[0]
    if folder not in FOLDERS:
        return None
    if stem in cores:
        return min(FOLDERS[folder], 1)
    return FOLDERS[folder]


include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
faults = []
unknown = []
for f in sorted(src.rglob("*")):
    if f.suffix not in (".h", ".cpp", ".inc", ".in"):
        continue
    rel = f.relative_to(src).as_posix()
    own = layer(rel)
    if own is None:
        unknown.append(rel)
        continue
    for target in include.findall(f.read_text(errors="replace")):
        if "/" not in target:
            continue   # generated or local (moc, tables)
        theirs = layer(target)
        if theirs is None:
            unknown.append(f"{rel} -> {target}")
        elif theirs > own:
            faults.append(f"{rel} (layer {own}) includes {target} (layer {theirs})")

for u in unknown:
    print(f"in no layer: {u}")
for fault in faults:
    print(f"up: {fault}")
if faults or unknown:
    sys.exit(1)
print("every include points down")
