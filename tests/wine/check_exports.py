#!/usr/bin/env python3
"""Checks the import tables: monctl.exe imports nothing from the system DLLs
that it loads from System32 on first use (a DLL of the same name beside it
would be loaded instead), and the simulated dxva2.dll imports nothing from
dxva2.dll itself (it must not load the system's) and exports every dxva2
function that the Win32 backend looks up."""

import argparse
import pathlib
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


LOADED_ON_USE = ("bcrypt.dll", "crypt32.dll", "dbghelp.dll", "dxva2.dll", "version.dll")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("--objdump", "--program", "--library", "--sources"):
        parser.add_argument(option, required=True)
    options = parser.parse_args()
    program = dump(options.objdump, options.program)
    failures = [f"{options.program} imports {sorted(imports(program, dll))} from {dll}"
                for dll in LOADED_ON_USE if imports(program, dll)]
    if not imports(program, "kernel32.dll"):
        failures.append(f"{options.program} imports nothing from kernel32.dll: the check cannot have read it")
    library = dump(options.objdump, options.library)
    if imports(library, "dxva2.dll"):
        failures.append(f"{options.library} imports from dxva2.dll")
    looked_up = {name for source in pathlib.Path(options.sources).glob("*.cc")
                 for name in re.findall(r'SystemLibrary::kDxva2,\s*"(\w+)"', source.read_text())}
    exported = set(re.findall(r"^\s*\[\s*\d+\]\s+(\w+)$", library.partition("[Ordinal/Name Pointer] Table")[2], re.M))
    if not looked_up or looked_up - exported:
        failures.append(f"{options.library} lacks {sorted(looked_up - exported) or 'the functions (none found)'}")
    print("\n".join(failures + [f"imports: {len(failures)} problem(s)"]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
