#!/usr/bin/env python3
"""Checks the simulated dxva2.dll against monctl.exe: the library exports
every function that the program imports from dxva2.dll, and imports nothing
from dxva2.dll itself (it must not load the system's)."""

import argparse
import re
import subprocess
import sys


def dump(objdump, path):
    return subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout


def imports(text, dll):
    """The names imported from `dll`: the first paragraph of its section."""
    names = set()
    for section in text.split("DLL Name:")[1:]:
        name, _, body = section.partition("\n")
        if name.strip().lower() == dll:
            names |= set(re.findall(r"^\s*[0-9a-fA-F]+\s+\d+\s+(\S+)$", body.split("\n\n")[0], re.M))
    return names


def exports(text):
    table = text.partition("[Ordinal/Name Pointer] Table")[2].split("\n\n")[0]
    return set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)$", table, re.M))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("--objdump", "--program", "--library"):
        parser.add_argument(option, required=True)
    options = parser.parse_args()
    needed = imports(dump(options.objdump, options.program), "dxva2.dll")
    library = dump(options.objdump, options.library)
    failures = [f"{options.library} does not export {name}, which {options.program} imports"
                for name in sorted(needed - exports(library))]
    if not needed:
        failures.append(f"{options.program} imports nothing from dxva2.dll: the check cannot have read it")
    if imports(library, "dxva2.dll"):
        failures.append(f"{options.library} imports from dxva2.dll")
    print("\n".join(failures + [f"dxva2: {len(needed)} functions imported by the program, {len(failures)} problem(s)"]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
