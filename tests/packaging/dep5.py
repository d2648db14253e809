"""Checks a Debian copyright file in the machine-readable format (DEP-5).

Usage: dep5.py COPYRIGHT LICENSE
Passes when the file parses into paragraphs of fields, the header names the
format, the paragraph for all files (Files: *) has a Copyright and the licence
LICENSE, and every licence that a Files paragraph names has its text (in the
paragraph or in a stand-alone License paragraph). Prints what is wrong.
"""
import re
import sys

FORMAT = "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"


def paragraphs(text):
    """The paragraphs as lists of (field, first line, continuation lines)."""
    result, current = [], []
    for number, line in enumerate(text.split("\n"), 1):
        if not line.strip():
            if current:
                result.append(current)
            current = []
        elif line[0] in " \t":
            if not current:
                raise ValueError(f"line {number}: a continuation line without a field")
            current[-1][2].append(line.strip())
        else:
            match = re.match(r"([!-9;-~][!-9;-~]*):(.*)$", line)
            if not match:
                raise ValueError(f"line {number}: not a field: {line!r}")
            current.append((match.group(1), match.group(2).strip(), []))
    if current:
        result.append(current)
    return result


def check(text, expected_license):
    problems = []
    try:
        paras = [{name: (first, rest) for name, first, rest in p} for p in paragraphs(text)]
    except ValueError as error:
        return [str(error)]
    if not paras or paras[0].get("Format", ("",))[0] != FORMAT:
        return [f"the first paragraph has no Format: {FORMAT}"]
    header, body = paras[0], paras[1:]
    for field in ("Upstream-Name", "Upstream-Contact"):
        if not header.get(field, ("",))[0]:
            problems.append(f"the header has no {field}")

    files = [p for p in body if "Files" in p]
    standalone = {p["License"][0]: p["License"][1] for p in body if "Files" not in p and "License" in p}
    for name, rest in standalone.items():
        if not rest:
            problems.append(f"the stand-alone License paragraph {name} has no text")
    if not any(p["Files"][0] == "*" for p in files):
        problems.append("no paragraph for all files (Files: *)")
    for p in files:
        pattern = p["Files"][0]
        if not p.get("Copyright", ("",))[0]:
            problems.append(f"Files: {pattern} has no Copyright")
        if "License" not in p:
            problems.append(f"Files: {pattern} has no License")
            continue
        expression, text = p["License"]
        if pattern == "*" and expression != expected_license:
            problems.append(f"Files: * has the licence {expression!r}, not {expected_license!r}")
        for name in re.split(r"\s*,?\s+(?:or|and)\s+|\s*,\s*", expression):
            if not text and name not in standalone:
                problems.append(f"the licence {name!r} of Files: {pattern} has no text")
    return problems


def main():
    path, expected_license = sys.argv[1], sys.argv[2]
    with open(path, encoding="utf-8") as f:
        problems = check(f.read(), expected_license)
    for problem in problems:
        print(f"{path}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
