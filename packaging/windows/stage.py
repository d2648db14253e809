#!/usr/bin/env python3
"""The deployed folder (the stage) that the Windows installer is made from.

  stage.py check STAGE LIST      every path or pattern of LIST is in STAGE;
                                 prints what is missing and exits 1 otherwise
  stage.py uninstall STAGE OUT   writes OUT, the uninstaller's part of
                                 installer.nsi: a Delete for every file of
                                 STAGE and an RMDir (never /r) for every folder,
                                 deepest first, so that a folder keeps whatever
                                 the user put there
"""
import fnmatch
import os
import sys


def stage_files(stage):
    """The files of the stage, relative, with forward slashes, sorted."""
    found = []
    for top, dirs, files in os.walk(stage):
        dirs.sort()
        for name in files:
            found.append(os.path.relpath(os.path.join(top, name), stage).replace(os.sep, "/"))
    return sorted(found)


def required(list_file):
    with open(list_file, encoding="utf-8") as f:
        lines = (line.strip() for line in f)
        return [line for line in lines if line and not line.startswith("#")]


def missing(stage, patterns):
    files = stage_files(stage)
    lowered = [f.lower() for f in files]  # Windows' file names ignore case
    return [p for p in patterns if not fnmatch.filter(lowered, p.lower())]


def nsis_path(relative):
    path = relative.replace("/", "\\")
    if '"' in path or "$" in path or "\n" in path:
        raise ValueError("a file name NSIS cannot quote: " + relative)
    return "$INSTDIR\\" + path


def uninstall_lines(stage):
    files = stage_files(stage)
    folders = set()
    for f in files:
        parts = f.split("/")[:-1]
        for i in range(1, len(parts) + 1):
            folders.add("/".join(parts[:i]))
    lines = ["; Made by packaging/windows/stage.py from the stage; not edited by hand."]
    lines += ['Delete "%s"' % nsis_path(f) for f in files]
    for d in sorted(folders, key=lambda d: (-d.count("/"), d)):
        lines.append('RMDir "%s"' % nsis_path(d))
    return lines


def main(argv):
    if len(argv) != 4 or argv[1] not in ("check", "uninstall"):
        sys.stderr.write(__doc__)
        return 2
    command, stage = argv[1], argv[2]
    if not os.path.isdir(stage):
        sys.stderr.write("stage.py: no folder %s\n" % stage)
        return 1
    if command == "check":
        absent = missing(stage, required(argv[3]))
        for p in absent:
            print("missing from the stage: " + p)
        return 1 if absent else 0
    lines = uninstall_lines(stage)
    with open(argv[3], "w", encoding="utf-8-sig", newline="\r\n") as out:
        out.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
