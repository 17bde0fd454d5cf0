"""Runs the command blocks of README.md as a reader would, on a copy of the source tree with the
build's outputs in its build/ folder, and checks that each exits 0 and writes what the README
shows.

    readme_commands.py README SOURCE_DIR BUILD_DIR

Which blocks are commands:
- an indented block, or a fenced one marked sh, bash or shell: commands, one a line (a line
  ending in a backslash goes on), run in order in one shell that starts in the checkout; each
  must exit 0;
- a fenced block whose first line starts with "$ " (or one marked console): a session. Each
  "$ " line is a command, run in a shell of its own in the checkout, and the lines after it are
  exactly what it writes, standard output and error together; "..." in a line stands for any
  text. An interactive program's session (sqlite3) gets its prompted lines as input and is
  compared as a terminal shows it, from its first prompt on; its exit status is not checked,
  since the session shows its errors.
- any other block is not a command.

An HTML comment just before a block tells more about it:
  <!-- not tested: REASON -->  the block is skipped, and REASON listed;
  <!-- file: NAME -->          the block is the file NAME, written into the checkout;
  <!-- output of: COMMAND -->  the block is exactly what COMMAND writes;
  <!-- setup: COMMANDS -->     COMMANDS run first (they must exit 0), unseen by the reader.

Blocks run in the order of the README, in one checkout, as someone following it would. Each run
gets a fresh temporary folder that holds the checkout, HOME and TMPDIR, and is removed after.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from markdown_it import MarkdownIt

# What of a build the README's commands use, copied into the checkout's build/ folder.
BUILD_OUTPUTS = ["tool/ssmsg", "include", "python", "libssmsg.a", "libssmsg.so*"]

# Programs whose sessions the README shows as at a terminal: how to make one talk so when its
# input is a pipe, and its prompt. Their line editor echoes what they read; on a terminal it does
# not know ("dumb") it would scroll a long line sideways, on xterm it writes it whole.
INTERACTIVE = {"sqlite3": ("-interactive", "sqlite> ")}
SESSION_TERMINAL = "xterm"

COMMAND_LANGUAGES = {"sh", "bash", "shell"}
MARKERS = ("not tested", "file", "output of", "setup")
TIMEOUT = 120  # seconds, for one command


class Failure(Exception):
    pass


def blocks(readme_text):
    """Yields (line, kind, text, markers) for each code block: line is the README's line number of
    its first line, kind is "indented" or the fence's language ("" for none)."""
    markers, marked_at = {}, None
    for token in MarkdownIt("commonmark").parse(readme_text):
        if token.type == "html_block":
            found = re.fullmatch(r"<!--\s*([a-z ]+):\s*(.*?)\s*-->", token.content.strip(), re.S)
            if found and found.group(1) in MARKERS:
                markers[found.group(1)] = found.group(2)
                marked_at = token.map[0] + 1
            continue
        if token.type in ("code_block", "fence"):
            line = token.map[0] + 1 + (token.type == "fence")
            kind = "indented" if token.type == "code_block" else token.info.strip()
            yield line, kind, token.content, markers
        elif markers:
            yield marked_at, "stray", "", markers
        markers = {}


def logical_lines(text, first):
    """The lines of text joined where one ends in a backslash, each with its README line."""
    joined, start = "", None
    for number, line in enumerate(text.splitlines(), first):
        start = number if start is None else start
        if line.endswith("\\"):
            joined += line[:-1] + "\n"
            continue
        yield start, joined + line
        joined, start = "", None


def matches(expected, actual):
    """Whether an output line is what the README shows, "..." standing for any text."""
    pattern = ".*".join(re.escape(part) for part in expected.split("..."))
    return re.fullmatch(pattern, actual) is not None


class Reader:
    """Someone following the README in a checkout of their own."""

    def __init__(self, source, build, folder):
        self.checkout = os.path.join(folder, "checkout")
        # The checkout leaves out what a fresh clone has not: git's data and build folders.
        build_path = os.path.realpath(build)
        shutil.copytree(source, self.checkout, symlinks=True, ignore=lambda where, names: [
            n for n in names if os.path.realpath(os.path.join(where, n)) == build_path or (
                where == source and (n in (".git", "out") or n.startswith("build")))])
        for pattern in BUILD_OUTPUTS:
            base = os.path.dirname(pattern)
            names = [n for n in os.listdir(os.path.join(build, base))
                     if re.fullmatch(re.escape(os.path.basename(pattern)).replace(r"\*", ".*"), n)]
            for name in names:
                origin = os.path.join(build, base, name)
                copy = os.path.join(self.checkout, "build", base, name)
                os.makedirs(os.path.dirname(copy), exist_ok=True)
                if os.path.isdir(origin) and not os.path.islink(origin):
                    shutil.copytree(origin, copy, symlinks=True)
                else:
                    shutil.copy2(origin, copy, follow_symlinks=False)
        for name in ("home", "tmp"):
            os.mkdir(os.path.join(folder, name))
        self.env = dict(os.environ, HOME=os.path.join(folder, "home"),
                        TMPDIR=os.path.join(folder, "tmp"),
                        PATH=os.path.join(self.checkout, "build", "tool") + os.pathsep +
                        os.environ.get("PATH", ""))
        self.commands = 0

    def run(self, line, script, stdin="", terminal="dumb", shown=None):
        """Runs shell commands in the checkout: their exit status and their output, standard output
        and error together. `shown` is how the README spells them, when not as `script`."""
        self.commands += 1
        process = subprocess.Popen(["bash", "-o", "pipefail", "-c", script], cwd=self.checkout,
                                   env=dict(self.env, TERM=terminal), stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        try:
            output, _ = process.communicate(stdin.encode(), timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            end_session(process.pid)
            process.communicate()
            raise Failure(f"README.md:{line}: still running after {TIMEOUT} s: {shown or script}")
        end_session(process.pid)  # what the commands left running in the background
        return process.returncode, output.decode(errors="replace")

    def check_status(self, line, command, status, output):
        if status != 0:
            raise Failure(f"README.md:{line}: exit status {status}: {command}\n" + tail(output))

    def check_output(self, line, command, expected, output, first=None):
        """Compares output lines with the README's lines, which start at README line `first`."""
        actual = output.splitlines()
        for k in range(max(len(expected), len(actual))):
            shown = expected[k] if k < len(expected) else None
            got = actual[k] if k < len(actual) else None
            if shown is None or got is None or not matches(shown, got):
                where = f"README.md:{first + k}" if first is not None and shown is not None else ""
                raise Failure(
                    f"README.md:{line}: {command}\n  output line {k + 1} differs from the README"
                    f"{' (' + where + ')' if where else ''}:\n"
                    f"    shown:   {shown if shown is not None else '(no more lines)'}\n"
                    f"    written: {got if got is not None else '(no more lines)'}\n"
                    + tail(output))

    def file(self, line, name, text):
        path = os.path.join(self.checkout, name)
        if not re.fullmatch(r"[\w.-]+", name) or name in (".", "..") or os.path.islink(path) or (
                os.path.lexists(path) and not os.path.isfile(path)):
            raise Failure(f"README.md:{line}: file: {name!r} is not the name of a file in the "
                          "checkout's top folder")
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)

    def commands_block(self, line, text):
        """Runs the lines in one shell, stopping at the first that fails, which it names."""
        script = ["__readme_check() { local s=$?; [ $s -eq 0 ] || "
                  "{ printf '\\n@@ %s %s\\n' \"$1\" $s; exit 1; }; }"]
        for number, command in logical_lines(text, line):
            if command.strip() and not command.lstrip().startswith("#"):
                script += [command, f"__readme_check {number}"]
        status, output = self.run(line, "\n".join(script), shown=text)
        failed = re.search(r"\n@@ (\d+) (\d+)\n\Z", output)
        if failed:
            number = int(failed.group(1))
            command = text.splitlines()[number - line]
            self.check_status(number, command, int(failed.group(2)), output[:failed.start()])
        self.check_status(line, text.splitlines()[0], status, output)

    def session(self, line, text):
        lines = text.splitlines()
        starts = [k for k, shown in enumerate(lines) if shown.startswith("$ ")]
        if not starts or starts[0] != 0:
            raise Failure(f"README.md:{line}: a session starts with a \"$ \" command")
        for k, start in enumerate(starts):
            end = starts[k + 1] if k + 1 < len(starts) else len(lines)
            command, shown, first = lines[start][2:], lines[start + 1:end], line + start + 1
            program, _, arguments = command.partition(" ")
            if program in INTERACTIVE:
                flag, prompt = INTERACTIVE[program]
                typed = "".join(s[len(prompt):] + "\n" for s in shown if s.startswith(prompt))
                _, output = self.run(line + start, f"{program} {flag} {arguments}", typed,
                                     SESSION_TERMINAL)
                from_prompt = re.search("^" + re.escape(prompt), output, re.M)
                self.check_output(line + start, command, shown,
                                  output[from_prompt.start():] if from_prompt else output, first)
            else:
                status, output = self.run(line + start, command)
                self.check_status(line + start, command, status, output)
                self.check_output(line + start, command, shown, output, first)

    def block(self, line, role, text, markers):
        if role == "stray":
            raise Failure(f"README.md:{line}: {', '.join(markers)}: no command block follows")
        if "setup" in markers:
            status, output = self.run(line, markers["setup"])
            self.check_status(line, "setup: " + markers["setup"], status, output)
        if role == "file":
            self.file(line, markers["file"], text)
        elif role == "output of":
            command = markers["output of"]
            status, output = self.run(line, command)
            self.check_status(line, command, status, output)
            self.check_output(line, command, text.splitlines(), output, line)
        elif role == "commands":
            self.commands_block(line, text)
        else:
            self.session(line, text)


def end_session(session):
    """Kills every process of the session `session`, again until none is left (one may fork while
    others die): a build tool puts its jobs in process groups of their own, but they stay in the
    session."""
    killed = True
    while killed:
        killed = False
        for entry in os.listdir("/proc"):
            try:
                with open(f"/proc/{entry}/stat", encoding="ascii", errors="replace") as stat:
                    state, _, _, member = stat.read().rsplit(")", 1)[1].split()[:4]
                if int(member) == session and state != "Z":
                    os.kill(int(entry), signal.SIGKILL)
                    killed = True
            except (OSError, ValueError):
                pass  # not a process, or gone already
        time.sleep(0.01 if killed else 0)


def role(kind, text, markers):
    """What a block is to the test: "file", "output of", "commands", "session", "stray" (markers
    before a block that is none of those) or None (not a command)."""
    for key in ("file", "output of"):
        if key in markers:
            return key
    if kind == "indented" or kind in COMMAND_LANGUAGES:
        return "commands"
    if kind == "console" or text.startswith("$ "):
        return "session"
    return "stray" if markers else None


def describe(role, text, markers):
    """What a block is, in a few words, for the list of what ran."""
    if role in ("file", "output of"):
        return f"{role}: {markers[role]}"
    first = text.splitlines()[0] if text else ""
    return f"{first[:70]}{'...' if len(first) > 70 else ''}"


def tail(output, count=30):
    lines = output.splitlines()
    shown = lines[-count:]
    more = f"  ({len(lines) - count} lines before)\n" if len(lines) > count else ""
    return "  output:\n" + more + "".join(f"    | {text}\n" for text in shown)


def main(readme, source, build):
    with open(readme, encoding="utf-8") as text:
        found = list(blocks(text.read()))
    failures, skipped, ran = [], [], []
    with tempfile.TemporaryDirectory(prefix="ssmsg-readme.") as folder:
        reader = Reader(source, build, folder)
        for line, kind, text, markers in found:
            if kind != "stray" and "not tested" in markers:
                if not markers["not tested"]:
                    failures.append(f"README.md:{line}: \"not tested\" needs a reason")
                skipped.append(f"README.md:{line}: not tested: {markers['not tested']}")
                continue
            what = "stray" if kind == "stray" else role(kind, text, markers)
            if what is None:
                continue
            try:
                ran.append(f"README.md:{line}: " + describe(what, text, markers))
                reader.block(line, what, text, markers)
            except Failure as failure:
                failures.append(str(failure))
        commands = reader.commands
    for line in ran + skipped:
        print(line)
    print(f"{commands} commands run, {len(skipped)} blocks not tested, {len(failures)} failed")
    for failure in failures:
        print("\n" + failure.rstrip("\n"), file=sys.stderr)
    if commands == 0:
        print("no command of the README ran", file=sys.stderr)
        return 1
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
