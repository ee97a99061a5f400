#!/usr/bin/env python3
"""End-to-end runner: runs the real program for every case of the case files
and compares the exact bytes of standard output, the exit code and, where a
case asks for it, the simulator's call log. See README.md beside this file
for the case format."""

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
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUILDS = ("native", "windows")
ENCODINGS = ("text", "utf8", "utf16")
CASE_TIMEOUT = 120  # seconds; only a guard against a program that hangs
NOEOL = "\x00noeol\x00"


class CaseError(Exception):
    """A case file that cannot be read."""


@dataclass
class Case:
    name: str
    source: str  # file:line
    args: list = None
    exit: int = None
    builds: tuple = BUILDS
    encoding: str = "text"
    scenario: str = None
    env: list = field(default_factory=list)
    blocks: dict = field(default_factory=dict)


@dataclass
class Result:
    case: Case
    ok: bool
    details: list = field(default_factory=list)


# ---------------------------------------------------------------------------
# Case files


def parse_case_file(path):
    """Reads one case file into a list of Case objects."""
    cases = []
    case = None
    block = None  # (name, lines)
    lines = path.read_text(encoding="utf-8").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    for number, line in enumerate(lines, 1):
        where = f"{path.name}:{number}"
        if block is not None:
            if line == "---":
                case.blocks[block[0]] = block[1]
                block = None
            else:
                block[1].append(line[1:] if line.startswith("\\") else line)
            continue
        if line.startswith("==="):
            case = Case(name=line[3:].strip(), source=where)
            if not case.name:
                raise CaseError(f"{where}: a case needs a name after ===")
            cases.append(case)
            continue
        stripped = line.strip()
        if not stripped or stripped.startswith("#"):
            continue
        if case is None:
            raise CaseError(f"{where}: text before the first case")
        if line.startswith("--- "):
            name = line[4:].strip()
            if name not in ("stdout", "stderr", "calls"):
                raise CaseError(f"{where}: unknown block '{name}'")
            if name in case.blocks:
                raise CaseError(f"{where}: second '{name}' block")
            block = (name, [])
            continue
        key, sep, value = line.partition(":")
        if not sep:
            raise CaseError(f"{where}: expected 'key: value', a block or ===")
        key, value = key.strip(), value.strip()
        try:
            if key == "args":
                case.args = shlex.split(value)
            elif key == "exit":
                case.exit = int(value)
            elif key == "builds":
                case.builds = BUILDS if value == "both" else (value,)
                if value != "both" and value not in BUILDS:
                    raise CaseError(f"{where}: builds is native, windows or both")
            elif key == "encoding":
                if value not in ENCODINGS:
                    raise CaseError(f"{where}: encoding is one of {', '.join(ENCODINGS)}")
                case.encoding = value
            elif key == "scenario":
                case.scenario = value
            elif key == "env":
                name, eq, val = value.partition("=")
                if not eq or not name:
                    raise CaseError(f"{where}: env takes NAME=value")
                case.env.append((name, val))
            else:
                raise CaseError(f"{where}: unknown key '{key}'")
        except ValueError as e:
            raise CaseError(f"{where}: {e}") from None
    if block is not None:
        raise CaseError(f"{path.name}: block '{block[0]}' is not closed with ---")
    for c in cases:
        if c.args is None or c.exit is None or "stdout" not in c.blocks:
            raise CaseError(f"{c.source}: case '{c.name}' needs args, exit and a stdout block")
    return cases


SEQUENCE = re.compile(r"\{\{seq:([A-Za-z_][A-Za-z0-9_]*)(?:\+(\d+))?\}\}")


def log_matches(expected, actual):
    """Compares a call log line by line. {{seq:NAME}} in an expected line
    stands for a number chosen at run time (an OPM sequence number) and
    names it; a later {{seq:NAME+K}} must be that number plus K, modulo
    2^32."""
    expected_lines = expected.split("\n")
    actual_lines = actual.split("\n")
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
            number = int(text)
            if name not in values:
                if offset:
                    return False
                values[name] = number
            elif (values[name] + offset) % 2**32 != number:
                return False
    return True


class Expander:
    """Replaces {{name}} by a definition or a fragment file. A fragment in
    the build's own folder (fragments/windows/NAME.txt) is taken before the
    common one (fragments/NAME.txt), for text that the platform supplies,
    such as the system's message for an error code."""

    def __init__(self, defines, fragments_dir, build=None):
        self.defines = dict(defines)
        self.defines.setdefault("tab", "\t")
        self.fragments_dirs = ([fragments_dir / build] if build else []) + [fragments_dir]

    def expand(self, text, depth=0):
        if depth > 10:
            raise CaseError("placeholders nest too deeply")

        def replace(match):
            name = match.group(1)
            if name == "noeol":
                return NOEOL
            if name in self.defines:
                return self.defines[name]
            for folder in self.fragments_dirs:
                fragment = folder / f"{name}.txt"
                if fragment.is_file():
                    content = fragment.read_text(encoding="utf-8")
                    if content.endswith("\n"):
                        content = content[:-1]
                    return self.expand(content, depth + 1)
            raise CaseError(f"unknown placeholder {{{{{name}}}}}")

        return re.sub(r"\{\{([A-Za-z0-9_]+)\}\}", replace, text)

    def block(self, lines):
        text = self.expand("".join(line + "\n" for line in lines))
        return text.replace(NOEOL + "\n", "").replace(NOEOL, "")


# ---------------------------------------------------------------------------
# Running


class Runner:
    def __init__(self, options):
        self.options = options
        self.build = options.build
        self.program = Path(options.program).resolve()
        self.scenarios_dir = HERE / "scenarios"
        # As the usage screen shows it: no folder, no last extension, lower case.
        stem = self.program.name.rsplit(".", 1)[0] if "." in self.program.name else self.program.name
        defines = dict(d.split("=", 1) for d in options.define)
        defines.setdefault("program", options.program_name or stem.lower())
        defines.setdefault("scenarios", self.host_path(self.scenarios_dir))
        self.expander = Expander(defines, HERE / "fragments", self.build)
        self.tmp = Path(tempfile.mkdtemp(prefix="monctl-e2e-"))
        # A command that the program runs under, such as a memory checker;
        # whatever it writes to standard error counts as the program's.
        self.wrapper = shlex.split(options.wrapper) if options.wrapper else []

    def host_path(self, path):
        """A path as the program under test sees it: Wine maps the root of
        the Linux file system to drive Z:."""
        path = str(Path(path).resolve())
        if self.build == "windows":
            return "Z:" + path.replace("/", "\\")
        return path

    def command(self, case):
        if self.build == "windows":
            command = [str(Path(self.options.wine).resolve()), str(self.program), *case.args]
        else:
            command = [str(self.program), *case.args]
        return self.wrapper + command

    def encode(self, text, encoding):
        if self.build == "windows":
            text = text.replace("\n", "\r\n")
        if encoding == "utf16":
            return text.encode("utf-16-le")
        if encoding == "text" and self.build == "windows":
            return text.encode(self.options.windows_codepage)
        return text.encode("utf-8")

    def run_case(self, index, case):
        details = []
        try:
            expected_out = self.encode(self.expander.block(case.blocks["stdout"]), case.encoding)
        except (CaseError, UnicodeEncodeError) as e:
            return Result(case, False, [f"case error: {e}"])

        env = {k: v for k, v in os.environ.items() if not k.startswith("MONCTL_SIM_")}
        env.update(self.options.env)
        if case.scenario is not None:
            scenario = self.scenarios_dir / case.scenario
            if not scenario.is_file():
                return Result(case, False, [f"case error: no scenario file {scenario}"])
            env["MONCTL_SIM_SCENARIO"] = self.host_path(scenario)
        log = None
        if "calls" in case.blocks:
            log = self.tmp / f"calls-{index}.log"
            env["MONCTL_SIM_LOG"] = self.host_path(log)
        try:
            for name, value in case.env:
                env[name] = self.expander.expand(value)
        except CaseError as e:
            return Result(case, False, [f"case error: {e}"])

        workdir = self.tmp / f"case-{index}"
        workdir.mkdir()
        try:
            proc = subprocess.run(self.command(case), env=env, cwd=workdir, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  timeout=CASE_TIMEOUT)
        except subprocess.TimeoutExpired:
            return Result(case, False, [f"did not end within {CASE_TIMEOUT} seconds"])
        except OSError as e:
            return Result(case, False, [f"cannot run: {e}"])

        if proc.returncode != case.exit & 0xFF:
            details.append(f"exit code {proc.returncode}, expected {case.exit & 0xFF}")
        if proc.stdout != expected_out:
            details.append("standard output differs:")
            details.extend(diff(expected_out, proc.stdout, case.encoding))
        # Wine writes notes of its own to standard error; the program itself
        # never writes there.
        if "stderr" in case.blocks or self.build == "native":
            expected_err = self.expander.block(case.blocks.get("stderr", [])).encode("utf-8")
            if proc.stderr != expected_err:
                details.append("standard error differs:")
                details.extend(diff(expected_err, proc.stderr, "utf8"))
        if log is not None:
            actual_log = log.read_bytes().replace(b"\r\n", b"\n") if log.exists() else b""
            expected_log = self.expander.block(case.blocks["calls"]).encode("utf-8")
            if not log_matches(expected_log.decode("utf-8"), actual_log.decode("utf-8", "replace")):
                details.append("call log differs:")
                details.extend(diff(expected_log, actual_log, "utf8"))
        return Result(case, not details, details)

    def start_anchor(self):
        """Starts a Wine process that waits for the whole run. While it
        lives the prefix's wineserver, Wine's services and its desktop
        process stay up, so the cases do not each start and stop them
        (Debian starts wineserver with a persistence of 0 seconds). Its
        wine-run also creates the prefix when there is none yet.

        The anchor is a cmd.exe that first runs the program once with
        /listdevices, so that Wine's desktop comes up inside the anchor's
        session (a first desktop program started from outside while the
        anchor waits hangs under Wine 8), and then waits in "pause". The
        runner goes on once the anchor has written its prompt."""
        program = self.host_path(self.program)
        if " " in program:
            program = f'"{program}"'
        env = {k: v for k, v in os.environ.items() if not k.startswith("MONCTL_SIM_")}
        env.update(self.options.env)
        try:
            anchor = subprocess.Popen(
                [str(Path(self.options.wine).resolve()), "cmd.exe", "/c",
                 f"{program} /listdevices >nul 2>nul & pause"],
                cwd=self.tmp, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                stderr=subprocess.DEVNULL)
        except OSError:
            return None
        anchor.stdout.read(1)  # the prompt, or b"" when the anchor failed
        return anchor

    @staticmethod
    def stop_anchor(anchor):
        """Answers the anchor's pause, so that it ends and the wineserver
        ends after the last client, as it would without the runner."""
        if anchor is None:
            return
        try:
            anchor.communicate(b"\r\n", timeout=30)
        except (subprocess.TimeoutExpired, OSError):
            anchor.kill()
            anchor.wait()

    def run(self, cases):
        selected = [c for c in cases if self.build in c.builds]
        if self.options.filter:
            selected = [c for c in selected if self.options.filter in c.name]
        results = []
        anchor = self.start_anchor() if self.build == "windows" and selected else None
        try:
            with concurrent.futures.ThreadPoolExecutor(max_workers=self.options.jobs) as pool:
                for result in pool.map(lambda item: self.run_case(*item), enumerate(selected)):
                    results.append(result)
                    report(result, self.options.verbose)
        finally:
            self.stop_anchor(anchor)
            shutil.rmtree(self.tmp, ignore_errors=True)
        return results


def visible(line):
    return line.replace("\t", "\\t").replace("\r", "\\r").replace("\x00", "\\0")


def diff(expected, actual, encoding):
    codec = "utf-16-le" if encoding == "utf16" else "utf-8"
    if encoding == "utf16" and (len(expected) % 2 or len(actual) % 2):
        codec = "latin-1"
    exp = expected.decode(codec, errors="backslashreplace").splitlines(keepends=True)
    act = actual.decode(codec, errors="backslashreplace").splitlines(keepends=True)
    lines = [visible(l.rstrip("\n")) + ("" if l.endswith("\n") else "  [no line end]")
             for l in difflib.unified_diff(exp, act, "expected", "actual", lineterm="\n")]
    if not lines:  # same text, different bytes: show the encodings
        lines = [f"expected bytes: {expected[:120]!r}", f"actual bytes:   {actual[:120]!r}"]
    return ["    " + l for l in lines]


def report(result, verbose):
    if result.ok:
        if verbose:
            print(f"PASS {result.case.name}")
        return
    print(f"FAIL {result.case.name} ({result.case.source})")
    for line in result.details:
        print(f"  {line}")
    sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", choices=BUILDS, required=True, help="which build the program is")
    parser.add_argument("--program", required=True, help="the program to run")
    parser.add_argument("--program-name", help="what {{program}} stands for (default: the file's name, "
                        "lower case, without its last extension)")
    parser.add_argument("--wine", help="how to run a Windows program (scripts/wine-run)")
    parser.add_argument("--cases", default=str(HERE / "cases"), help="folder of *.case files, or one file")
    parser.add_argument("--define", action="append", default=[], metavar="NAME=VALUE",
                        help="a placeholder's value")
    parser.add_argument("--env", action="append", default=[], metavar="NAME=VALUE",
                        help="an environment variable for every case (a case's env: comes after it)")
    parser.add_argument("--filter", help="run only the cases whose name contains this text")
    parser.add_argument("--wrapper", metavar="COMMAND",
                        help="run the program under this command, split as a shell would (for example "
                             "\"valgrind -q --error-exitcode=97\"); what it writes to standard error "
                             "counts as the program's")
    parser.add_argument("--windows-codepage", default="cp1252",
                        help="code page of 'text' output under Wine (default: cp1252)")
    parser.add_argument("-j", "--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("-v", "--verbose", action="store_true", help="list the cases that pass too")
    options = parser.parse_args()
    if options.build == "windows" and not options.wine:
        parser.error("--wine is needed for the windows build")
    for d in options.define:
        if "=" not in d:
            parser.error(f"--define {d}: NAME=VALUE expected")
    for e in options.env:
        if "=" not in e or e.startswith("="):
            parser.error(f"--env {e}: NAME=VALUE expected")
    options.env = dict(e.split("=", 1) for e in options.env)

    cases_path = Path(options.cases)
    files = sorted(cases_path.glob("*.case")) if cases_path.is_dir() else [cases_path]
    try:
        cases = [c for f in files for c in parse_case_file(f)]
    except CaseError as e:
        print(f"error: {e}")
        return 2
    names = [c.name for c in cases]
    duplicates = sorted({n for n in names if names.count(n) > 1})
    if duplicates:
        print(f"error: case names used twice: {', '.join(duplicates)}")
        return 2

    runner = Runner(options)
    results = runner.run(cases)
    failed = sum(1 for r in results if not r.ok)
    skipped = len(cases) - len(results)
    print(f"{options.build}: {len(results) - failed} passed, {failed} failed"
          + (f" ({skipped} cases not for this build or filtered out)" if skipped else ""))
    return 1 if failed or not results else 0


if __name__ == "__main__":
    sys.exit(main())
