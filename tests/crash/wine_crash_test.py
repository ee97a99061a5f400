#!/usr/bin/env python3
"""Runs the Windows crash probe under Wine and checks what a crash leaves; exit status 0 when all is well.

Usage: wine_crash_test.py WINE_RUN CRASH_PROBE_EXE VERSION

Each group of cases runs under its own user name, and so with its own local application data folder
(Wine takes the profile folder from $USER); the profile folders are removed at the end.
"""
import concurrent.futures, os, re, shutil, struct, subprocess, sys

WINE_RUN, PROBE, VERSION = sys.argv[1:4]
TAG = f"monctl-crash-{os.getpid()}"
REPORT_HEAD = ("ERROR: An unhandled exception has occurred.\n"
               "A crash dump file has been created and the application will close.\n\n"
               "Crash dump filename:\n")
DUMP_NAME = re.compile(r"crash_probe\.exe_" + re.escape(VERSION) + r"_x64_\d{4}-\d\d-\d\d_\d{6}_\d{3}\.dmp")
ACCESS_VIOLATION, THROW_CODES = 0xC0000005, {0x80000003, 0x20474343}  # breakpoint, GCC's throw
CODES = {"write": {ACCESS_VIOLATION}, "throw": THROW_CODES}
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def run(user, mode):
    done = subprocess.run([WINE_RUN, PROBE, mode], env=dict(os.environ, USER=user, LOGNAME=user),
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return done.returncode, done.stdout.decode("utf-8", "replace").replace("\r\n", "\n")


def dumps(folder):
    return [os.path.join(base, f) for base, _, files in os.walk(folder) for f in files if f.endswith(".dmp")]


def check_dump(mode, local):
    """A crash that left a minidump: the report, the file, its header and exception stream."""
    status, output = run(users["dump"], mode)
    check(status == 255, f"{mode}: exit status {status}, expected 255 (exit(-1))")
    if not check(output.startswith(REPORT_HEAD) and output.endswith("\n"), f"{mode}: report {output!r}"):
        return None
    windows_path = output[len(REPORT_HEAD):-1]
    check(windows_path[:3].upper() == "C:\\", f"{mode}: not on drive C: {windows_path!r}")
    path = os.path.join(drive_c, *windows_path[3:].split("\\"))
    check(os.path.dirname(path) == os.path.join(local, "monctl developers", "monctl"), f"{mode}: dump in {path}")
    check(DUMP_NAME.fullmatch(os.path.basename(path)) is not None, f"{mode}: dump name {path}")
    if not check(os.path.isfile(path), f"{mode}: no file at {path}"):
        return None
    data = open(path, "rb").read()
    signature, _, count, directory, _, _, flags = struct.unpack_from("<4sIIIIIQ", data, 0)
    check((signature, flags) == (b"MDMP", 0x50), f"{mode}: signature {signature!r}, dump type {flags:#x}")
    streams = dict(struct.unpack_from("<III", data, directory + 12 * i)[0:3:2] for i in range(count))
    check(struct.unpack_from("<H", data, streams.get(7, 0))[0] == 9, f"{mode}: not an x64 dump")  # SystemInfo
    if check(6 in streams and 3 in streams, f"{mode}: no exception or thread stream"):
        thread, _, code, _, _, _, parameters = struct.unpack_from("<IIIIQQI", data, streams[6])
        threads = [struct.unpack_from("<I", data, streams[3] + 4 + 48 * k)[0]
                   for k in range(struct.unpack_from("<I", data, streams[3])[0])]
        check(code in CODES[mode] and thread in threads, f"{mode}: exception {code:#x} in thread {thread}")
        info = struct.unpack_from("<15Q", data, streams[6] + 40)[:parameters]
        check(code != ACCESS_VIOLATION or info == (1, 0), f"{mode}: access {info}, expected a write to 0")
    return path


def dump_cases():
    first = check_dump("write", local["dump"])
    second = check_dump("throw", local["dump"])  # the folders exist now and are reused
    check(first is None or (os.path.isfile(first) and first != second), "the first dump is gone or replaced")


def no_dump_cases(user, modes):
    """Wine's own handling ends the process with the exception code; no report, no dump."""
    for mode in modes:
        status, output = run(users[user], mode)
        check("Crash dump filename" not in output, f"{user}, {mode}: report written: {output!r}")
        check(status in {code & 0xFF for code in CODES[mode]}, f"{user}, {mode}: exit status {status}")
        check(dumps(local[user]) == [], f"{user}, {mode}: a dump was written")
    # For a path too long only the length of the name kept the dump out.
    check(user != "long" or os.path.isdir(os.path.join(local[user], "monctl developers", "monctl")),
          "long path: the dump's folders were not made")


drive_c = subprocess.run([WINE_RUN, "winepath", "-u", "C:\\"], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, check=True).stdout.decode().strip()
# C:\users\<name>\AppData\Local of "long" fits, the dump's path does not.
users = {"dump": f"{TAG}-dump", "blocked": f"{TAG}-blocked", "long": f"{TAG}-" + "l" * 170}
local = {key: os.path.join(drive_c, "users", name, "AppData", "Local") for key, name in users.items()}
# The company folder is a file: the product folder cannot be made in it.
os.makedirs(local["blocked"], exist_ok=True)
open(os.path.join(local["blocked"], "monctl developers"), "w").write("in the way")
try:
    with concurrent.futures.ThreadPoolExecutor() as pool:
        jobs = [pool.submit(dump_cases), pool.submit(no_dump_cases, "blocked", ["write", "throw"]),
                pool.submit(no_dump_cases, "long", ["write"])]
        for job in jobs:
            job.result()
finally:
    for name in users.values():
        shutil.rmtree(os.path.join(drive_c, "users", name), ignore_errors=True)
for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)
