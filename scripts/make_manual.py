#!/usr/bin/env python3
"""Writes a program's manual page from the texts it already has: its --help
(and each command's, for a program with commands) and sections of the
README, so that nothing is written twice by hand.

    make_manual.py [--check] PAGE.1.gz README.md VERSION [-- PROGRAM...]

PROGRAM... is how to run the program (a path, or a command that runs it
elsewhere, as in a chroot); without it the page is the README's alone.
--check compares the page with what would be written now and fails, showing
the difference, when they disagree.

The help is read loosely, so that its wording and layout may change: a line
that ends with a colon is a heading, indented lines are kept as they are, and
any other line is a paragraph. The line that names the running user's tool
folder points to FILES instead, which says how that folder is chosen."""
import difflib
import gzip
import io
import os
import re
import subprocess
import sys

# The README's sections that each page takes, by the page's section name.
README_SECTIONS = {
    "qrv-idset": {"DESCRIPTION": [None], "FILES": ["Where the tool keeps its files",
                                                   "A real adapter on Linux"],
                  "DIAGNOSTICS": ["What the messages mean"]},
    "qrv-idctl": {"FILES": ["Where the tool keeps its files", "A real adapter on Linux"]},
}
SUMMARY = {
    "qrv-idset": "the QRV ID tool's window: change the Modbus RTU slave ID of a device",
    "qrv-idctl": "read, change, scan and number Modbus RTU slave IDs from the command line",
    "qrv-devsim": "a virtual Modbus RTU device on a pseudo-terminal, for training and tests",
}
SEE_ALSO = {"qrv-idset": "qrv-idctl (1)", "qrv-idctl": "qrv-idset (1), qrv-devsim (1)",
            "qrv-devsim": "qrv-idctl (1), qrv-idset (1)"}
FOLDER_LINE = re.compile(r"^(工具文件夹[^：]*：).*$")


def roff_text(text):
    """A line of text as roff takes it: backslashes and minus signs kept."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text.startswith((".", "'")) else text


def inline_markdown(text):
    """Markdown's links, code and emphasis as plain text and bold."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = text.replace("**", "")
    parts = text.split("`")
    return "".join(roff_text(p) if i % 2 == 0 else "\\fB" + roff_text(p) + "\\fR"
                   for i, p in enumerate(parts))


def help_roff(help_text):
    out, literal, paragraph = [], False, False
    for line in help_text.splitlines():
        line = FOLDER_LINE.sub(r"\1见 FILES", line)
        indented = line.startswith((" ", "\t"))
        if indented != literal:
            out.append(".nf" if indented else ".fi")
            literal = indented
        text = not indented and line.strip() and not (
            line.rstrip().endswith(("：", ":")) and len(line) < 40)
        if indented:
            out.append(roff_text(line))
        elif not line.strip():
            out.append(".PP")
        elif not text:
            out.append(".SS " + roff_text(line.rstrip().rstrip("：:")))
        else:
            # Lines of one paragraph are filled together.
            out += [roff_text(line)] if paragraph else [".PP", roff_text(line)]
        paragraph = bool(text)
    return out + ([".fi"] if literal else [])


def readme_sections(readme):
    """The README's sections and subsections by heading; None for the text
    before the first."""
    sections, name = {None: []}, None
    for line in readme.splitlines():
        if line.startswith(("## ", "### ")):
            name = line.lstrip("#").strip()
            sections[name] = []
        elif not line.startswith("# "):
            sections[name].append(line)
    return sections


def markdown_roff(lines):
    out, paragraph = [], []

    def flush():
        if paragraph:
            out.extend([".PP", inline_markdown(" ".join(paragraph))])
            paragraph.clear()

    rows = [l for l in lines if l.startswith("|")]
    for line in lines:
        if line.startswith("|"):
            flush()
            cells = [c.strip() for c in line.strip().strip("|").split(" | ")]
            # The header and the rule under it; a table of pictures is left out.
            if line is rows[0] or set(line) <= set("|- ") or "![" in line:
                continue
            out += [".TP", inline_markdown(cells[0]), inline_markdown(" \u2014 ".join(cells[1:]))]
        elif line.startswith("    "):
            flush()
            if out[-2:] == [".fi", ".RE"]:
                del out[-2:]  # the block goes on
            else:
                out += [".PP", ".RS", ".nf"]
            out += [roff_text(line[4:]), ".fi", ".RE"]
        elif line.strip():
            paragraph.append(line.strip())
        else:
            flush()
    flush()
    return out


def run(program, *args):
    done = subprocess.run(program + list(args), capture_output=True, check=True)
    return done.stdout.decode("utf-8")


def page_text(name, version, readme, program):
    # Left-aligned, unhyphenated: Chinese lines have no spaces to stretch.
    out = [f'.TH {name.upper()} 1 "" "qrv-idtool {version}" "QRV ID tool"', ".ad l", ".nh", ".SH NAME",
           roff_text(f"{name} - {SUMMARY[name]}"), ".SH SYNOPSIS"]
    sections = readme_sections(readme)
    wanted = README_SECTIONS.get(name, {})
    if program:
        general = run(program, "--help")
        out += [".nf", roff_text(f"{name} --help"), ".fi", ".SH DESCRIPTION"]
        out += help_roff(general)
        # A program with commands: each command's own help, by the name it has there.
        commands = re.findall(r"^\s*(?:用法：|usage: )?" + re.escape(name) + r" ([a-z][a-z-]*)\b",
                              general, re.M)
        for command in dict.fromkeys(commands):
            out += [".SH " + roff_text(command.upper())] + help_roff(run(program, command, "--help"))
    else:
        out += [".nf", roff_text(name), ".fi"]
    for heading, names in wanted.items():
        out.append(".SH " + heading)
        for section in names:
            if section:
                out.append(".SS " + inline_markdown(section))
            out += markdown_roff(sections[section])
    out += [".SH SEE ALSO", SEE_ALSO[name]]
    return "\n".join(out) + "\n"


def main(argv):
    check = argv[:1] == ["--check"]
    argv = argv[1:] if check else argv
    split = argv.index("--") if "--" in argv else len(argv)
    (page, readme_path, version), program = argv[:split], argv[split + 1:]
    name = os.path.basename(page).split(".")[0]
    with open(readme_path, encoding="utf-8") as f:
        text = page_text(name, version, f.read(), program)
    if check:
        with gzip.open(page, "rt", encoding="utf-8") as f:
            installed = f.read()
        if installed != text:
            sys.stdout.writelines(difflib.unified_diff(
                installed.splitlines(True), text.splitlines(True), page, "from --help now"))
            print(f"{page} disagrees with {name}'s --help and the README", file=sys.stderr)
            return 1
        print(f"{page}: as the help and the README say")
        return 0
    # gzip -9n: no name and no time, so that the same texts make the same bytes.
    buffer = io.BytesIO()
    with gzip.GzipFile(filename="", mode="wb", fileobj=buffer, compresslevel=9, mtime=0) as z:
        z.write(text.encode("utf-8"))
    with open(page, "wb") as f:
        f.write(buffer.getvalue())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
