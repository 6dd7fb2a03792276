#!/usr/bin/env python3
"""Prints the machine of every member of an import library, one line each:

    <member name> <i386|x86-64|arm64|0xNNNN> <object|import>

"object" is a COFF object (what GNU dlltool writes, and the descriptor
members of every import library), "import" a short import member (what
LLVM's dlltool, lld and MSVC's lib.exe write for each function), whose
machine LLVM 14's tools do not show. The archive's symbol and name tables
are skipped.

    lib-machines.py LIBRARY
"""

import struct
import sys

MACHINES = {0x14C: "i386", 0x8664: "x86-64", 0xAA64: "arm64"}


def members(data):
    if not data.startswith(b"!<arch>\n"):
        raise ValueError("not an archive")
    names = b""
    pos = 8
    while pos + 60 <= len(data):
        header = data[pos:pos + 60]
        name = header[:16].decode("ascii").rstrip()
        size = int(header[48:58].decode("ascii").strip())
        body = data[pos + 60:pos + 60 + size]
        pos += 60 + size + (size & 1)
        if name == "//":
            names = body
            continue
        if name in ("/", "/SYM64/", "__.SYMDEF"):
            continue
        if name.startswith("/") and name[1:].isdigit():
            start = int(name[1:])
            end = names.find(b"\n", start)
            name = names[start:end if end >= 0 else len(names)].decode("ascii")
        yield name.rstrip("/"), body


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1].strip())
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    for name, body in members(data):
        if body[:4] == b"\0\0\xff\xff":
            machine, kind = struct.unpack_from("<H", body, 6)[0], "import"
        else:
            machine, kind = struct.unpack_from("<H", body, 0)[0], "object"
        print(name, MACHINES.get(machine, "0x%04X" % machine), kind)


if __name__ == "__main__":
    main()
