#!/usr/bin/env python3
"""Runs the Windows crash probe under Wine and checks what a crash leaves.

Usage: wine_crash_test.py WINE_RUN CRASH_PROBE_EXE VERSION

Each case runs under its own user name: Wine takes the profile folder, and
with it the local application data folder, from $USER, so the cases do not
share or disturb a dump folder. Their profile folders are removed at the
end. Exit status 0 when every check passes.
"""
import concurrent.futures
import os
import re
import shutil
import struct
import subprocess
import sys

WINE_RUN, PROBE, VERSION = sys.argv[1:4]
TAG = f"monctl-crash-{os.getpid()}"

REPORT_HEAD = ("ERROR: An unhandled exception has occurred.\n"
               "A crash dump file has been created and the application will close.\n\n"
               "Crash dump filename:\n")
DUMP_NAME = re.compile(r"crash_probe\.exe_" + re.escape(VERSION) +
                       r"_x64_\d{4}-\d\d-\d\d_\d{6}_\d{3}\.dmp")

EXCEPTION_ACCESS_VIOLATION = 0xC0000005
STATUS_BREAKPOINT = 0x80000003
STATUS_GCC_THROW = 0x20474343

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def run(user, mode):
    env = dict(os.environ, USER=user, LOGNAME=user)
    done = subprocess.run([WINE_RUN, PROBE, mode], env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
    # Text mode writes line ends as CR LF.
    return done.returncode, done.stdout.decode("utf-8", "replace").replace("\r\n", "\n")


def unix_path(drive_c, windows_path):
    check(windows_path[:3].upper() == "C:\\", f"not on drive C: {windows_path!r}")
    return os.path.join(drive_c, *windows_path[3:].split("\\"))


def dump_files(folder):
    found = []
    for base, _, files in os.walk(folder):
        found += [os.path.join(base, f) for f in files if f.endswith(".dmp")]
    return found


def read_minidump(path):
    """The header's dump type and the exception stream of a minidump."""
    data = open(path, "rb").read()
    signature, _, count, directory, _, _, flags = struct.unpack_from("<4sIIIIIQ", data, 0)
    result = {"signature": signature, "flags": flags, "streams": {}}
    for i in range(count):
        kind, size, rva = struct.unpack_from("<III", data, directory + 12 * i)
        result["streams"][kind] = (size, rva)
        if kind == 6:  # ExceptionStream
            thread, _, code, _, _, address, parameters = struct.unpack_from("<IIIIQQI", data, rva)
            info = struct.unpack_from("<15Q", data, rva + 40)
            result["exception"] = (thread, code, address, info[:parameters])
        if kind == 3:  # ThreadListStream
            threads, = struct.unpack_from("<I", data, rva)
            result["threads"] = [struct.unpack_from("<I", data, rva + 4 + 48 * k)[0]
                                 for k in range(threads)]
        if kind == 7:  # SystemInfoStream
            result["architecture"], = struct.unpack_from("<H", data, rva)
    return result


def check_dump(case, status, output, local, expected_codes):
    """A crash that left a dump: the report, the file and its contents."""
    check(status == 255, f"{case}: exit status {status}, expected 255 (exit(-1))")
    if not check(output.startswith(REPORT_HEAD) and output.endswith("\n"),
                 f"{case}: report {output!r}"):
        return None
    windows_path = output[len(REPORT_HEAD):-1]
    path = unix_path(drive_c, windows_path)
    folder = os.path.join(local, "monctl developers", "monctl")
    check(os.path.dirname(path) == folder, f"{case}: dump in {os.path.dirname(path)}")
    check(DUMP_NAME.fullmatch(os.path.basename(path)) is not None,
          f"{case}: dump name {os.path.basename(path)}")
    if not check(os.path.isfile(path), f"{case}: no file at {path}"):
        return None
    dump = read_minidump(path)
    check(dump["signature"] == b"MDMP", f"{case}: signature {dump['signature']!r}")
    check(dump["flags"] == 0x50, f"{case}: dump type {dump['flags']:#x}")
    check(dump.get("architecture") == 9, f"{case}: architecture {dump.get('architecture')}")
    exception = dump.get("exception")
    if check(exception is not None, f"{case}: no exception stream"):
        thread, code, _, info = exception
        check(code in expected_codes, f"{case}: exception code {code:#x}")
        check(thread in dump.get("threads", []), f"{case}: thread {thread} not in the thread list")
        if code == EXCEPTION_ACCESS_VIOLATION:
            check(info == (1, 0), f"{case}: access {info}, expected a write to 0")
    print(f"{case}: {os.path.basename(path)}, exception {exception[1]:#x}" if exception else case)
    return path


# Where drive C: of the project's prefix is.
drive_c = subprocess.run([WINE_RUN, "winepath", "-u", "C:\\"], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, check=True).stdout.decode().strip()
users = {
    "dump": f"{TAG}-dump",
    "blocked": f"{TAG}-blocked",
    # C:\users\<name>\AppData\Local fits, the dump's path does not.
    "long": f"{TAG}-" + "l" * 170,
}
local = {key: os.path.join(drive_c, "users", name, "AppData", "Local") for key, name in users.items()}

# The company folder is a file: the product folder cannot be made in it.
os.makedirs(local["blocked"], exist_ok=True)
with open(os.path.join(local["blocked"], "monctl developers"), "w") as blocker:
    blocker.write("in the way")


def dump_cases():
    status, output = run(users["dump"], "write")
    first = check_dump("null write", status, output, local["dump"], {EXCEPTION_ACCESS_VIOLATION})
    # The folders exist now and are reused.
    status, output = run(users["dump"], "throw")
    second = check_dump("uncaught exception", status, output, local["dump"],
                        {STATUS_BREAKPOINT, STATUS_GCC_THROW})
    check(first is None or os.path.isfile(first), "the first dump is gone")
    check(first != second, "both crashes named the same file")


def blocked_cases():
    for mode in ("write", "throw"):
        status, output = run(users["blocked"], mode)
        case = f"blocked folder, {mode}"
        # Wine's own handling ends the process with the exception code (no
        # debugger is registered in the prefix); the probe's report must not
        # appear.
        check("Crash dump filename" not in output, f"{case}: report written: {output!r}")
        codes = {EXCEPTION_ACCESS_VIOLATION} if mode == "write" else {STATUS_BREAKPOINT, STATUS_GCC_THROW}
        check(status in {code & 0xFF for code in codes}, f"{case}: exit status {status}")
        check(dump_files(local["blocked"]) == [], f"{case}: a dump was written")
        print(f"{case}: no dump, exit status {status}")


def long_path_cases():
    status, output = run(users["long"], "write")
    check("Crash dump filename" not in output, f"long path: report written: {output!r}")
    check(status == EXCEPTION_ACCESS_VIOLATION & 0xFF, f"long path: exit status {status}")
    check(dump_files(local["long"]) == [], "long path: a dump was written")
    # The folders were made: only the length of the name kept the dump out.
    check(os.path.isdir(os.path.join(local["long"], "monctl developers", "monctl")),
          "long path: the dump's folders were not made")
    print(f"long path: no dump, exit status {status}")


try:
    with concurrent.futures.ThreadPoolExecutor() as pool:
        for job in [pool.submit(f) for f in (dump_cases, blocked_cases, long_path_cases)]:
            job.result()
finally:
    for name in users.values():
        shutil.rmtree(os.path.join(drive_c, "users", name), ignore_errors=True)

for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)
