#!/usr/bin/env python3
"""Makes the man page arjhost.1 from the manual in README.md.

    manual_to_man.py README.md VERSION OUT

The README's "## Manual" and "## Limits" sections are the page: "###"
headings become sections, "TERM" lines followed by ": text" become tagged
paragraphs, tables become tagged paragraphs of their first column, code
blocks stay as they are. One manual, two forms: edit README.md only.
"""
import re
import sys

SECTIONS = ("Manual", "Limits")


def manual_lines(readme):
    """The lines of the sections that make the page, each "## " heading kept."""
    out, keep = [], False
    for line in readme.splitlines():
        if line.startswith("## "):
            keep = line[3:].strip() in SECTIONS
        if keep:
            out.append(line)
    return out


def escape(text):
    return text.replace("\\", "\\e")


def inline(text):
    """Markdown emphasis and code as roff fonts; code keeps its minus signs."""
    parts = re.split(r"(`[^`]*`)", text)
    out = []
    for part in parts:
        if part.startswith("`") and part.endswith("`") and len(part) >= 2:
            out.append("\\fB" + escape(part[1:-1]).replace("-", "\\-") + "\\fR")
            continue
        part = escape(part)
        part = re.sub(r"\*\*([^*]+)\*\*", r"\\fB\1\\fR", part)
        part = re.sub(r"(?<![\w*])\*([^*\s][^*]*)\*(?![\w*])", r"\\fI\1\\fR", part)
        out.append(part)
    line = "".join(out)
    return "\\&" + line if line.startswith((".", "'")) else line


def table_rows(lines):
    cells = [[c.strip() for c in l.strip().strip("|").split("|")] for l in lines]
    header, rows = cells[0], [r for r in cells[1:] if not all(set(c) <= set("-: ") for c in r)]
    out = []
    for row in rows:
        text = row[1] if len(row) > 1 else ""
        for name, value in zip(header[2:], row[2:]):
            text += f" ({name}: {value})"
        out += [".TP", inline(row[0]), inline(text)]
    return out


def convert(lines, version):
    out = [f'.TH ARJHOST 1 "" "arjhost {version}" "User Commands"']
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("## "):
            if line[3:].strip() != "Manual":  # its "###" headings are the sections
                out.append(".SH " + line[3:].strip().upper())
        elif line.startswith("### "):
            out.append(".SH " + line[4:].strip().upper())
        elif line.startswith("```"):
            out.append(".PP\n.nf")
            i += 1
            while i < len(lines) and not lines[i].startswith("```"):
                code = escape(lines[i])
                out.append("\\&" + code if code.startswith((".", "'")) else code)
                i += 1
            out.append(".fi")
        elif line.startswith("|"):
            block = []
            while i < len(lines) and lines[i].startswith("|"):
                block.append(lines[i])
                i += 1
            out += table_rows(block)
            continue
        elif line.startswith(": "):
            out.append(inline(line[2:]))
        elif line.startswith("  - "):
            out += [".br", "\\(bu " + inline(line[4:])]
        elif line.strip() == "":
            if out[-1] not in (".PP",) and not out[-1].startswith((".SH", ".TH")):
                out.append(".PP")
        elif i + 1 < len(lines) and lines[i + 1].startswith(": "):
            out += [".TP", inline(line)]
        else:
            out.append(inline(line.strip()))
        i += 1
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: manual_to_man.py README.md VERSION OUT")
    with open(sys.argv[1], encoding="utf-8") as f:
        lines = manual_lines(f.read())
    if not lines:
        sys.exit(f"{sys.argv[1]}: no '## Manual' section")
    with open(sys.argv[3], "w", encoding="utf-8") as f:
        f.write(convert(lines, sys.argv[2]))


if __name__ == "__main__":
    main()
