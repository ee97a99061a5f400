#!/usr/bin/env python3
"""Checks the test-only dxva2.dll against monctl.exe: the library exports
every function that the program imports from dxva2.dll, and the library
imports nothing from dxva2.dll itself (it must not load the system's)."""

import argparse
import re
import subprocess
import sys


def private_headers(objdump, path):
    return subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout


def imports_from(dump, dll):
    """The names imported from `dll` (case-insensitive), from objdump -p."""
    names = set()
    inside = False
    for line in dump.splitlines():
        match = re.match(r"\s*DLL Name:\s*(\S+)", line)
        if match:
            inside = match.group(1).lower() == dll.lower()
            continue
        if inside:
            if not line.strip():
                if names:
                    inside = False
                continue
            entry = re.match(r"\s*[0-9a-fA-F]+\s+\d+\s+(\S+)$", line)
            if entry:
                names.add(entry.group(1))
    return names


def exports(dump):
    """The exported names, from the [Ordinal/Name Pointer] Table."""
    names = set()
    inside = False
    for line in dump.splitlines():
        if "[Ordinal/Name Pointer] Table" in line:
            inside = True
            continue
        if inside:
            entry = re.match(r"\s*\[\s*\d+\]\s+(\S+)$", line)
            if entry:
                names.add(entry.group(1))
            elif line.strip():
                break
    return names


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--library", required=True)
    options = parser.parse_args()

    needed = imports_from(private_headers(options.objdump, options.program), "dxva2.dll")
    library = private_headers(options.objdump, options.library)
    offered = exports(library)
    failures = []
    if not needed:
        failures.append(f"{options.program} imports nothing from dxva2.dll: the check cannot have read it")
    for name in sorted(needed - offered):
        failures.append(f"{options.library} does not export {name}, which {options.program} imports")
    own = imports_from(library, "dxva2.dll")
    if own:
        failures.append(f"{options.library} imports {', '.join(sorted(own))} from dxva2.dll")
    for failure in failures:
        print(failure)
    print(f"dxva2 exports: {len(needed)} imported by the program, {len(offered)} exported by the library; "
          f"{len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
