#!/usr/bin/python3
"""Checks the Windows programs in a zip: each keeps address space layout
randomisation (with relocations and 64-bit addresses) and no-execute data,
and imports only DLLs that Windows itself has.

Usage: pe_check.py ZIP
"""

import sys
import zipfile

import pefile

# DllCharacteristics bits.
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
# Every 64-bit Windows has these; anything else would have to come with the zip.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "winmm.dll",
               "advapi32.dll", "shell32.dll", "ntdll.dll", "comctl32.dll", "ole32.dll",
               "ucrtbase.dll", "ws2_32.dll", "bcrypt.dll"}


def check(name, data):
    pe = pefile.PE(data=data)
    failures = []
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    for bit, what in ((DYNAMIC_BASE, "ASLR"), (HIGH_ENTROPY_VA, "high-entropy addresses"),
                      (NX_COMPAT, "DEP")):
        if not flags & bit:
            failures.append(f"{name}: no {what}")
    if not hasattr(pe, "DIRECTORY_ENTRY_BASERELOC"):
        failures.append(f"{name}: no relocations, so ASLR cannot move it")
    dlls = [entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    for dll in dlls:
        if dll.lower() not in SYSTEM_DLLS and not dll.lower().startswith("api-ms-win-"):
            failures.append(f"{name}: imports {dll}, which Windows does not have")
    return failures, dlls


def main():
    failures = []
    with zipfile.ZipFile(sys.argv[1]) as archive:
        for member in archive.namelist():
            if member.endswith(".exe"):
                found, dlls = check(member, archive.read(member))
                failures += found
                print(f"pe: {member} imports {', '.join(dlls)}")
    for failure in failures:
        print(f"pe: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
