#!/usr/bin/env python3
"""associate-unwind.py AR IN.a OUT.a: copies a MinGW GCC archive with the
unwind tables of each COMDAT function tied to that function.

GCC puts a COMDAT function in .text$NAME and its unwind tables in .xdata$NAME
and .pdata$NAME (x86_64) or .eh_frame$NAME (i686), each a COMDAT of its own
that GNU ld pairs with the function by name. lld 14 drops them (a .pdata$NAME
carries no symbol to choose it by), so a function of the static C++ runtime
(std::string's members among them) has no unwind entry in the DLL: on x86_64
Windows unwinds it as a leaf function, and an exception thrown through it
resumes in whatever frame a stale return address names; on i686 libgcc finds
no frame description and calls std::terminate. Without the COMDAT mark they
are the sections lld ties to .text$NAME by name (as older GCC wrote them),
kept exactly when the function is kept. AR is the archiver (llvm-ar).
"""
import struct
import subprocess
import sys
import tempfile
import os

IMAGE_SCN_LNK_COMDAT = 0x1000


def patch_object(data):
    if len(data) < 20:
        return data, 0
    machine, sections, _, symtab, nsyms, optional, _ = struct.unpack_from("<HHIIIHH", data, 0)
    if machine not in (0x14C, 0x8664) or symtab == 0:
        return data, 0
    strings = symtab + nsyms * 18

    def section_name(raw):
        raw = raw.rstrip(b"\0")
        if raw.startswith(b"/"):
            offset = int(raw[1:])
            end = data.index(b"\0", strings + offset)
            return data[strings + offset:end]
        return raw

    headers = [20 + optional + 40 * i for i in range(sections)]
    names = [section_name(data[h:h + 8]) for h in headers]
    functions = set(name[len(b".text$"):] for name in names if name.startswith(b".text$"))
    out = bytearray(data)
    changed = 0
    for header, name in zip(headers, names):
        flags = struct.unpack_from("<I", data, header + 36)[0]
        for prefix in (b".xdata$", b".pdata$", b".eh_frame$"):
            if name.startswith(prefix) and name[len(prefix):] in functions and flags & IMAGE_SCN_LNK_COMDAT:
                struct.pack_into("<I", out, header + 36, flags & ~IMAGE_SCN_LNK_COMDAT)
                changed += 1
    return bytes(out), changed


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: associate-unwind.py AR IN.a OUT.a")
    ar, source, target = sys.argv[1:]
    with tempfile.TemporaryDirectory() as work:
        members = subprocess.run([ar, "t", source], check=True, capture_output=True,
                                 text=True).stdout.split()
        if len(set(members)) != len(members):
            sys.exit("associate-unwind.py: %s holds two members of one name" % source)
        subprocess.run([ar, "x", os.path.abspath(source)], cwd=work, check=True)
        total = 0
        for member in members:
            path = os.path.join(work, member)
            with open(path, "rb") as f:
                data = f.read()
            data, changed = patch_object(data)
            total += changed
            with open(path, "wb") as f:
                f.write(data)
        partial = target + ".part"
        if os.path.exists(partial):
            os.remove(partial)
        # D: no time stamps or owners, so the copy is the same wherever it is made.
        subprocess.run([ar, "qcsD", os.path.abspath(partial)] + members, cwd=work, check=True)
        os.replace(partial, target)
    print("associate-unwind: %s: %d unwind tables tied to their functions" % (os.path.basename(target), total))


if __name__ == "__main__":
    main()
