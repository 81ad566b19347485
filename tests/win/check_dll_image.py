#!/usr/bin/python3
"""Reads a built plug-in DLL and checks what the host and the system see of it:
exactly the six exports by their plain names, imports from system DLLs only, and the version
resource. Usage: check_dll_image.py DLL POINTER_SIZE"""
import sys

import pefile

EXPORTS = {"ContentGetSupportedField", "ContentGetSupportedFieldFlags", "ContentGetValue",
           "ContentGetValueW", "ContentSetValue", "ContentSetValueW"}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll"}


def main():
    path, pointer_size = sys.argv[1], int(sys.argv[2])
    pe = pefile.PE(path)
    failures = []

    machine = pe.FILE_HEADER.Machine
    expected_machine = 0x8664 if pointer_size == 8 else 0x14C
    if machine != expected_machine:
        failures.append(f"machine {machine:#x}, expected {expected_machine:#x}")
    if not pe.is_dll():
        failures.append("not a DLL")

    exports = {e.name.decode() for e in pe.DIRECTORY_ENTRY_EXPORT.symbols if e.name}
    if exports != EXPORTS:
        failures.append(f"exports {sorted(exports)}")

    imports = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    if not imports <= SYSTEM_DLLS or "kernel32.dll" not in imports:
        failures.append(f"imports {sorted(imports)}")

    fixed = pe.VS_FIXEDFILEINFO[0]
    file_version = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                    fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
    product_version = (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                       fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF)
    if file_version != (2, 0, 0, 0) or product_version != (1, 0, 0, 0):
        failures.append(f"versions {file_version} / {product_version}")

    tables = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
    if tables != {"040904E4": {"FileVersion": "2.0.0.0", "ProductVersion": "1.0.0.0"}} and \
       tables != {"040904e4": {"FileVersion": "2.0.0.0", "ProductVersion": "1.0.0.0"}}:
        failures.append(f"string tables {tables}")

    for failure in failures:
        print(f"{path}: {failure}")
    if not failures:
        print(f"{path}: six exports, imports {sorted(imports)}, versions 2.0.0.0 / 1.0.0.0")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
