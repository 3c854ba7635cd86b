#!/usr/bin/python3
"""Reads the version record back from a built slash.exe and checks each field.

Usage: version_record_check.py SLASH_EXE VERSION DESCRIPTION
"""

import sys

import pefile


def main():
    exe, version_text, description = sys.argv[1:4]
    expected_strings = {
        "FileDescription": description,
        "FileVersion": version_text,
        "ProductName": "slash",
        "ProductVersion": version_text,
    }
    numbers = tuple(int(part) for part in version_text.split("."))
    pe = pefile.PE(exe)
    failures = []
    fixed = pe.VS_FIXEDFILEINFO[0]
    file_version = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                    fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
    product_version = (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                       fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF)
    if file_version != numbers or product_version != numbers:
        failures.append(f"fixed versions {file_version} and {product_version}, not {numbers}")
    tables, translations = {}, []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID.decode()] = {k.decode(): v.decode()
                                                for k, v in table.entries.items()}
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                translations += [var.entry.get(b"Translation")]
    strings = tables.get("041104B0") or tables.get("041104b0")
    if strings is None:
        failures.append(f"no string table 041104B0 (tables: {sorted(tables)})")
    else:
        for key, value in expected_strings.items():
            if strings.get(key) != value:
                failures.append(f"{key} is {strings.get(key)!r}, not {value!r}")
    if [str(t).lower() for t in translations] != ["0x0411 0x04b0"]:
        failures.append(f"translations {translations}, not Japanese with Unicode")
    # The resource itself is filed under a language too: the same one.
    languages = [entry.data.lang | (entry.data.sublang << 10)
                 for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries
                 if kind.id == pefile.RESOURCE_TYPE["RT_VERSION"]
                 for name in kind.directory.entries for entry in name.directory.entries]
    if languages != [0x0411]:
        failures.append(f"filed under languages {[hex(lang) for lang in languages]}, not 0x0411")
    for failure in failures:
        print(f"version record: {failure}", file=sys.stderr)
    if not failures:
        print("version record: every field as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
