#!/usr/bin/env python3
"""Checks that the source folders include one another in one direction only.

Every folder may include itself and the folders before it in its chain; the window
folders may include every core folder as well. The core folders and zelctl include no
Qt. Prints each offending include with its file and line; exits 1 when there is one.
Usage: include_order.py SOURCE_DIR
"""
import os
import re
import sys

# The core (zelcore, no Qt), lowest first; folders on one line do not include each other.
CORE = [["core"], ["toolkit", "toolkit/zip", "toolkit/iso"], ["platform"], ["codec"], ["recording"],
        ["audio"], ["organiser"], ["Archive"]]
# Qt sound output, then the windows (zelgui) and the program's main, lowest first.
WINDOWS = [["audio/qt"], ["toolkit/ui"], ["audio/ui"], ["organiser/ui"], ["Archive/ui"], ["shell"],
           ["shell/app"]]
CORE_FOLDERS = [folder for level in CORE for folder in level]
# zelctl sits on the core alone; its sound helper adds the Qt sound output.
BESIDE = {"cli": CORE_FOLDERS, "cli/play": CORE_FOLDERS + ["audio/qt", "cli"]}
NO_QT = set(CORE_FOLDERS) | {"cli"}
SOURCE_SUFFIXES = (".h", ".cpp")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def allowed_includes():
    allowed = {}
    below = []
    for level in CORE + WINDOWS:
        for folder in level:
            allowed[folder] = set(below) | {folder}
        below += level
    for folder, others in BESIDE.items():
        allowed[folder] = set(others) | {folder}
    return allowed


def source_folders(root, allowed):
    """Yields (folder, files) for every folder below the chains' top folders that holds sources."""
    tops = sorted({folder.split("/")[0] for folder in allowed})
    for top in tops:
        for path, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            sources = sorted(name for name in files if name.endswith(SOURCE_SUFFIXES))
            if sources:
                yield os.path.relpath(path, root).replace(os.sep, "/"), sources


def problems(root):
    allowed = allowed_includes()
    for folder, files in source_folders(root, allowed):
        for name in files:
            path = folder + "/" + name
            if folder not in allowed:
                yield f"{path}: the folder {folder}/ has no place in the include order"
                continue
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    kind, target = match.groups()
                    if kind == "<":
                        if folder in NO_QT and (target.startswith("Q") or target.startswith("qt")):
                            yield f"{path}:{number}: Qt include <{target}> in a folder without Qt"
                        continue
                    target_folder = target.rsplit("/", 1)[0] if "/" in target else ""
                    if target_folder not in allowed:
                        yield f'{path}:{number}: "{target}" is in no folder of the include order'
                    elif target_folder not in allowed[folder]:
                        yield f'{path}:{number}: {folder}/ may not include "{target}" ({target_folder}/ is above it)'


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    found = list(problems(sys.argv[1]))
    for problem in found:
        print(problem)
    print(f"{len(found)} problem(s) with the include order")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
