"""Checks that the manual page names what the tool's --help lists, so that the two cannot drift.

    python3 man_page.py TOOL MAN_SOURCE

Every subcommand that has no subcommands of its own needs a section "## ssmsg NAME..." under
COMMANDS whose text names each of its options as *--option*; every option, the tool's own
included, is described under OPTIONS; and no section names a subcommand that the tool lacks.
Prints each thing missing and exits with 1 when there is any.
"""

import re
import subprocess
import sys


def help_of(tool, path):
    """(options, subcommands) that `tool PATH... --help` lists."""
    run = subprocess.run([tool, *path, "--help"], capture_output=True, text=True, check=True)
    options, subcommands, section = [], [], None
    for line in run.stdout.splitlines():
        if re.match(r"^\S", line):
            section = line.rstrip(":") if line.endswith(":") else None
        elif re.match(r"^  \S", line):
            first = line.split()[0]
            if section == "Options":
                options += [name for name in first.split(",") if name.startswith("--")]
            elif section == "Subcommands":
                subcommands.append(first)
    return options, subcommands


def sections(source):
    """{heading: text} of the "## " sections, and the text of "# OPTIONS"."""
    found, options, current, top = {}, "", None, None
    for line in source.splitlines():
        if line.startswith("# "):
            top, current = line[2:].strip(), None
        elif line.startswith("## "):
            current = line[3:].strip()
            found[current] = ""
        elif current is not None:
            found[current] += line + "\n"
        if top == "OPTIONS":
            options += line + "\n"
    return found, options


def main(tool, man_source):
    with open(man_source, encoding="utf-8") as file:
        source = file.read()
    found, described = sections(source)
    missing = []

    def named(option, text):
        return re.search(r"\*" + re.escape(option) + r"\*", text) is not None

    def walk(path):
        options, subcommands = help_of(tool, path)
        for option in options:
            if option != "--help" and not named(option, described):
                where = " ".join(["ssmsg", *path])
                missing.append(f"OPTIONS does not describe {option} (of {where}) as *{option}*")
        if path and not subcommands:
            heading = "ssmsg " + " ".join(path)
            if heading not in found:
                missing.append(f'no section "## {heading}" under COMMANDS, for the subcommand '
                               f"{' '.join(path)} (options: {', '.join(options)})")
            else:
                for option in options:
                    if option != "--help" and not named(option, found[heading]):
                        missing.append(f'"## {heading}" does not name {option} as *{option}*')
        leaves = set()
        for subcommand in subcommands:
            leaves |= walk(path + [subcommand])
        return leaves | ({"ssmsg " + " ".join(path)} if path and not subcommands else set())

    leaves = walk([])
    for heading in found:
        if heading.startswith("ssmsg ") and heading not in leaves:
            missing.append(f'"## {heading}" names a subcommand that ssmsg --help does not list')
    for line in missing:
        print(f"{man_source}: {line}")
    return 1 if missing else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
