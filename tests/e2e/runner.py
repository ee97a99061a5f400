#!/usr/bin/env python3
"""End-to-end runner: runs the real program once for every row of the case
files and compares the exact bytes of standard output, the exit code and,
where asked, the simulator's call log and standard error. See README.md
beside this file for the case format."""

import argparse
import concurrent.futures
import difflib
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field, replace
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUILDS = ("native", "windows")
ENCODINGS = ("text", "utf8", "utf16")
CASE_TIMEOUT = 120  # seconds; only a guard against a program that hangs
NOEOL = "\x00noeol\x00"
SLOT = re.compile(r"\{\{([1-9])\}\}")
SEQUENCE = re.compile(r"\{\{seq:([A-Za-z_][A-Za-z0-9_]*)(?:\+(\d+))?\}\}")

class CaseError(Exception):
    """A case file that cannot be read."""

@dataclass
class Group:
    """What the rows after one === line share: settings and templates."""
    name: str = ""
    builds: tuple = BUILDS
    encoding: str = "text"
    scenario: str = None
    banner: bool = True
    env: list = field(default_factory=list)
    head: list = field(default_factory=list)
    log: list = None  # None: the call log is not compared
    by_monitor: bool = False  # logorder: monitor
    own: set = field(default_factory=set)  # the list keys this group has set itself

@dataclass
class Case:
    name: str
    source: str  # file:line
    group: Group
    args: list
    exit: int
    cells: list
    more: dict = field(default_factory=lambda: {">": [], "$": [], "!": []})

def set_key(group, key, value, where):
    if key in ("head", "log", "env"):
        if key not in group.own:  # a group's own lines replace the file's
            group.own.add(key)
            setattr(group, key, [])
        name, eq, val = value.partition("=")
        if key == "env" and (not eq or not name):
            raise CaseError(f"{where}: env takes NAME=value")
        if key == "env" or key == "head" or value:
            getattr(group, key).append((name, val) if key == "env" else value)
    elif key == "builds" and value in BUILDS + ("both",):
        group.builds = BUILDS if value == "both" else (value,)
    elif key == "encoding" and value in ENCODINGS:
        group.encoding = value
    elif key == "banner" and value in ("yes", "no"):
        group.banner = value == "yes"
    elif key == "scenario":
        group.scenario = value
    elif key == "logorder" and value in ("exact", "monitor"):
        group.by_monitor = value == "monitor"
    else:
        raise CaseError(f"{where}: unknown key or value '{key}: {value}'")

def parse_case_file(path):
    cases, group = [], Group()
    defaults = group
    for number, line in enumerate(path.read_text(encoding="utf-8").split("\n"), 1):
        where = f"{path.name}:{number}"
        more = re.fullmatch(r"\s+([>$!])(?: (.*))?", line)
        row = re.fullmatch(r"(-?\d+)(?:\s+(.*))?", line)
        key = re.fullmatch(r"([a-z]+):(?: (.*))?", line)
        if not line.strip() or line.startswith("#"):
            continue
        elif line.startswith("==="):
            group = replace(defaults, name=line[3:].strip(), env=list(defaults.env), own=set())
        elif more and cases and cases[-1].group is group:
            cases[-1].more[more.group(1)].append(more.group(2) or "")
        elif row and group is not defaults:
            text, *cells = [c.strip() for c in (row.group(2) or "").split("|")]
            slots = [int(n) for line in group.head + (group.log or []) for n in SLOT.findall(line)]
            if len(cells) != max(slots, default=0):
                raise CaseError(f"{where}: {len(cells)} values after the command line, "
                                f"the group's templates use {max(slots, default=0)}")
            try:
                args = shlex.split(text)
            except ValueError as e:
                raise CaseError(f"{where}: {e}") from None
            cases.append(Case(f"{group.name}: {text}", where, group, args, int(row.group(1)), cells))
        elif key:
            value = key.group(2) or ""
            set_key(group, key.group(1), value if key.group(1) in ("head", "log") else value.strip(), where)
        else:
            raise CaseError(f"{where}: expected a group (===), a 'key: value', a row (after ===) "
                            "or a '>', '$' or '!' line under a row")
    return cases

def fill(template, cells):
    """The template with a row's values for {{1}}, {{2}}, ...; lines using a '-' go."""
    lines = [line for line in template if "-" not in (cells[int(n) - 1] for n in SLOT.findall(line))]
    return [SLOT.sub(lambda m: cells[int(m.group(1)) - 1], line) for line in lines]

def log_matches(expected, actual):
    """Compares call logs line by line. {{seq:NAME}} matches any number and
    names it; a later {{seq:NAME+K}} must be that number plus K (mod 2^32)."""
    expected_lines, actual_lines = expected.split("\n"), actual.split("\n")
    if len(expected_lines) != len(actual_lines):
        return False
    values = {}
    for want, got in zip(expected_lines, actual_lines):
        pattern, names, position = "", [], 0
        for m in SEQUENCE.finditer(want):
            pattern += re.escape(want[position:m.start()]) + r"(\d+)"
            names.append((m.group(1), int(m.group(2) or 0)))
            position = m.end()
        match = re.fullmatch(pattern + re.escape(want[position:]), got)
        if not match:
            return False
        for (name, offset), text in zip(names, match.groups()):
            if name not in values and offset:
                return False
            values.setdefault(name, int(text))
            if (values[name] + offset) % 2**32 != int(text):
                return False
    return True

MONITOR = re.compile(r"\S+#\d+")

def by_monitor(log):
    """The call log with the lines of each monitor (named <device>#<n>)
    together in their order, then the lines that name none, sorted: all that
    a run whose monitors' calls go side by side keeps of the order."""
    groups, rest = {}, []
    for line in log.split("\n"):
        name = MONITOR.search(line)
        (groups.setdefault(name.group(0), []) if name else rest).append(line)
    return "\n".join([line for key in sorted(groups) for line in groups[key]] + sorted(rest))

class Expander:
    """Replaces {{name}} by a definition or a fragment file, the build's own
    (fragments/windows/NAME.txt: text the platform supplies) first."""

    def __init__(self, defines, fragments_dir, build):
        self.defines = {"tab": "\t", **defines}
        self.folders = [fragments_dir / build, fragments_dir]

    def expand(self, text, depth=0):
        def one(match):
            name = match.group(1)
            if name == "noeol":
                return NOEOL
            if name in self.defines:
                return self.defines[name]
            for fragment in (folder / f"{name}.txt" for folder in self.folders):
                if fragment.is_file() and depth < 10:
                    return self.expand(fragment.read_text(encoding="utf-8").removesuffix("\n"), depth + 1)
            raise CaseError(f"unknown placeholder {{{{{name}}}}}")

        return re.sub(r"\{\{([A-Za-z0-9_]+)\}\}", one, text)

    def block(self, lines):
        return self.expand("".join(line + "\n" for line in lines)).replace(NOEOL + "\n", "").replace(NOEOL, "")

class Runner:
    def __init__(self, options):
        self.options = options
        self.windows = options.build == "windows"
        self.program = Path(options.program).resolve()
        self.scenarios_dir = HERE / "scenarios"
        # As the usage screen shows it: no folder, no last extension, lower case.
        defines = {"program": self.program.name.rsplit(".", 1)[0].lower(),
                   "scenarios": self.host_path(self.scenarios_dir)}
        defines.update(d.split("=", 1) for d in options.define)
        self.expander = Expander(defines, HERE / "fragments", options.build)
        self.tmp = Path(tempfile.mkdtemp(prefix="monctl-e2e-"))
        # A wrapper such as valgrind: what it writes to standard error counts.
        prefix = [str(Path(options.wine).resolve())] if self.windows else []
        self.command = shlex.split(options.wrapper or "") + prefix + [str(self.program)]
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("MONCTL_SIM_")}
        self.env.update(options.env)

    def host_path(self, path):
        """A path as the program sees it: Wine maps the Linux root to Z:."""
        path = str(Path(path).resolve())
        return "Z:" + path.replace("/", "\\") if self.windows else path

    def encode(self, text, encoding):
        codec = self.options.windows_codepage if encoding == "text" and self.windows else "utf-8"
        codec = "utf-16-le" if encoding == "utf16" else codec
        return (text.replace("\n", "\r\n") if self.windows else text).encode(codec)

    def run_case(self, index, case):
        group, details, env = case.group, [], dict(self.env)
        check_log = group.log is not None or case.more["$"]
        check_err = not self.windows  # Wine writes notes of its own to standard error
        log = self.tmp / f"calls-{index}.log"
        try:
            head = (["{{banner}}"] if group.banner else []) + fill(group.head, case.cells)
            want_out = self.encode(self.expander.block(head + case.more[">"]), group.encoding)
            want_log = self.expander.block(fill(group.log or [], case.cells) + case.more["$"])
            want_err = self.expander.block(case.more["!"]).encode("utf-8")
            if group.scenario is not None:
                scenario = self.scenarios_dir / group.scenario
                if not scenario.is_file():
                    raise CaseError(f"no scenario file {scenario}")
                env["MONCTL_SIM_SCENARIO"] = self.host_path(scenario)
            if check_log:
                env["MONCTL_SIM_LOG"] = self.host_path(log)
            env.update((name, self.expander.expand(value)) for name, value in group.env)
        except (CaseError, UnicodeEncodeError) as e:
            return case, [f"case error: {e}"]

        workdir = self.tmp / f"case-{index}"
        workdir.mkdir()
        try:
            proc = subprocess.run(self.command + case.args, env=env, cwd=workdir, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=CASE_TIMEOUT)
        except subprocess.TimeoutExpired:
            return case, [f"did not end within {CASE_TIMEOUT} seconds"]
        except OSError as e:
            return case, [f"cannot run: {e}"]

        if proc.returncode != case.exit & 0xFF:
            details.append(f"exit code {proc.returncode}, expected {case.exit & 0xFF}")
        if proc.stdout != want_out:
            details += ["standard output differs:"] + diff(want_out, proc.stdout, group.encoding)
        if check_err and proc.stderr != want_err:
            details += ["standard error differs:"] + diff(want_err, proc.stderr, "utf8")
        if check_log:
            got_log = log.read_bytes().replace(b"\r\n", b"\n") if log.exists() else b""
            got_text = got_log.decode("utf-8", "replace")
            if group.by_monitor:
                want_log, got_text = by_monitor(want_log), by_monitor(got_text)
            if not log_matches(want_log, got_text):
                details += ["call log differs:"] + diff(want_log.encode("utf-8"), got_log, "utf8")
        return case, details

    def start_anchor(self):
        """A cmd.exe that runs the program once (bringing Wine's desktop up in
        its own session) and waits in "pause", keeping the wineserver, Wine's
        services and desktop up for the run; its wine-run creates the prefix."""
        program = self.host_path(self.program)
        program = f'"{program}"' if " " in program else program
        try:
            anchor = subprocess.Popen([str(Path(self.options.wine).resolve()), "cmd.exe", "/c",
                                       f"{program} /listdevices >nul 2>nul & pause"],
                                      cwd=self.tmp, env=self.env, stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        except OSError:
            return None
        anchor.stdout.read(1)  # the prompt, or b"" when the anchor failed
        return anchor

    @staticmethod
    def stop_anchor(anchor):
        """Answers the pause: the anchor ends, and the wineserver after it."""
        if anchor is None:
            return
        try:
            anchor.communicate(b"\r\n", timeout=30)
        except (subprocess.TimeoutExpired, OSError):
            anchor.kill()
            anchor.wait()

    def run(self, cases):
        selected = [c for c in cases if self.options.build in c.group.builds
                    and (self.options.filter or "") in c.name]
        anchor = self.start_anchor() if self.windows and selected else None
        try:
            with concurrent.futures.ThreadPoolExecutor(max_workers=self.options.jobs) as pool:
                return list(pool.map(lambda item: report(*self.run_case(*item), self.options.verbose),
                                     enumerate(selected)))
        finally:
            self.stop_anchor(anchor)
            shutil.rmtree(self.tmp, ignore_errors=True)

def diff(expected, actual, encoding):
    codec = "utf-16-le" if encoding == "utf16" and not (len(expected) % 2 or len(actual) % 2) else \
        "latin-1" if encoding == "utf16" else "utf-8"
    exp, act = (b.decode(codec, errors="backslashreplace").splitlines(keepends=True) for b in (expected, actual))
    lines = [l.rstrip("\n").replace("\t", "\\t").replace("\r", "\\r").replace("\x00", "\\0")
             + ("" if l.endswith("\n") else "  [no line end]")
             for l in difflib.unified_diff(exp, act, "expected", "actual", lineterm="\n")]
    if not lines:  # the same text in other bytes: show the encodings
        lines = [f"expected bytes: {expected[:120]!r}", f"actual bytes:   {actual[:120]!r}"]
    return ["    " + l for l in lines]

def report(case, details, verbose):
    if details:
        print("\n".join([f"FAIL {case.name} ({case.source})"] + [f"  {line}" for line in details]), flush=True)
    elif verbose:
        print(f"PASS {case.name}", flush=True)
    return not details

def main():
    parser = argparse.ArgumentParser(description=__doc__)
    add = parser.add_argument
    add("--build", choices=BUILDS, required=True, help="which build the program is")
    add("--program", required=True, help="the program to run")
    add("--wine", help="how to run a Windows program (scripts/wine-run)")
    add("--cases", default=str(HERE / "cases"), help="folder of *.case files, or one file")
    add("--define", action="append", default=[], metavar="NAME=VALUE", help="a placeholder's value")
    add("--env", action="append", default=[], metavar="NAME=VALUE",
        help="an environment variable for every case (a group's env: comes after it)")
    add("--filter", help="run only the cases whose name contains this text")
    add("--wrapper", metavar="COMMAND", help="run the program under this command, split as a shell "
        "would (such as valgrind); what it writes to standard error counts as the program's")
    add("--windows-codepage", default="cp1252", help="code page of 'text' output under Wine")
    add("-j", "--jobs", type=int, default=os.cpu_count() or 1)
    add("-v", "--verbose", action="store_true", help="list the cases that pass too")
    options = parser.parse_args()
    if options.build == "windows" and not options.wine:
        parser.error("--wine is needed for the windows build")
    for item in options.define + options.env:
        if "=" not in item or item.startswith("="):
            parser.error(f"{item}: NAME=VALUE expected")
    options.env = dict(e.split("=", 1) for e in options.env)

    cases_path = Path(options.cases)
    files = sorted(cases_path.glob("*.case")) if cases_path.is_dir() else [cases_path]
    try:
        cases = [c for f in files for c in parse_case_file(f)]
    except CaseError as e:
        print(f"error: {e}")
        return 2
    names = [c.name for c in cases]
    if len(set(names)) != len(names):
        print(f"error: case names used twice: {sorted({n for n in names if names.count(n) > 1})}")
        return 2

    results = Runner(options).run(cases)
    failed = results.count(False)
    skipped = len(cases) - len(results)
    print(f"{options.build}: {len(results) - failed} passed, {failed} failed"
          + (f" ({skipped} cases not for this build or filtered out)" if skipped else ""))
    return 1 if failed or not results else 0

if __name__ == "__main__":
    sys.exit(main())
