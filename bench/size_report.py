#!/usr/bin/env python3
"""Where the installer's bytes go: its PE sections as stored in the file, each
broken down by where its contents came from (read from the linker's map), and
the resources by kind.

    size_report.py EXE [MAP]
    size_report.py --members ARCHIVE MAP   the archive's members in the program, by bytes

Prints lines "size <what> <bytes>" that bench/run reads, and a readable table.
"""
import collections
import re
import struct
import sys

RESOURCE_TYPES = {1: "CURSOR", 2: "BITMAP", 3: "ICON", 4: "MENU", 5: "DIALOG", 6: "STRING", 10: "RCDATA",
                  12: "GROUP_CURSOR", 14: "GROUP_ICON", 16: "VERSION", 24: "MANIFEST"}


def read_pe(data):
    """Section table (name, rva, virtual size, raw offset, raw size) and the resource directory's RVA."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise SystemExit("not a PE file")
    sections_count = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva, resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
    sections = []
    table = optional + optional_size
    for i in range(sections_count):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0").decode()
        vsize, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
        sections.append((name, rva, vsize, raw_offset, raw_size))
    return sections, resource_rva, resource_size


def resources_by_kind(data, sections, rva):
    """Bytes of resource data per type; directory entries and padding are left to the caller."""
    base = next((s for s in sections if s[1] <= rva < s[1] + max(s[2], s[4])), None)
    if base is None:
        return {}
    offset = base[3] + rva - base[1]

    def entries(directory):
        named, ids = struct.unpack_from("<HH", data, offset + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, offset + directory + 16 + 8 * i)
            yield name, target

    def type_name(name):
        if name & 0x80000000:
            at = offset + (name & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, at)[0]
            return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return RESOURCE_TYPES.get(name, str(name))

    def total(target):
        if target & 0x80000000:
            return sum(total(child) for _, child in entries(target & 0x7FFFFFFF))
        return struct.unpack_from("<I", data, offset + target + 4)[0]

    kinds = collections.Counter()
    for name, target in entries(0):
        kinds[type_name(name)] += total(target)
    return kinds


def origin(path):
    """Who put an input section into the program."""
    rules = [
        (r"libostrane_core\.a", "our core"),
        (r"libostrane_win\.a|ostrane_win_environment\.dir|QuillaraWebSetup[^/]*\.dir", "our Windows code"),
        (r"libtinyxml2\.a", "tinyxml2"),
        (r"/libz\.a", "zlib"),
        (r"libstdc\+\+\.a", "libstdc++"),
        (r"libmingwex\.a", "libmingwex"),
        (r"libw?i?n?pthread\.a", "winpthread"),
        (r"libmsvcrt\w*\.a", "msvcrt glue"),
        (r"libgcc_eh\.a", "gcc_eh"),
        (r"libgcc\.a", "libgcc"),
        (r"libuuid\.a", "libuuid"),
        (r"_delay\.a|libdelayimp\.a", "delay-load imports"),
        (r"\.res$|\.rc\.res", "resources"),
        (r"crt\w*\.o|libmingw32\.a", "C start-up"),
        (r"/lib\w+\.a", "system DLL imports"),
    ]
    for pattern, name in rules:
        if re.search(pattern, path):
            return name
    return "other"


def map_inputs(map_path):
    """(output section, input file, bytes) for each input section the program keeps,
    from the memory map part of an ld map."""
    output = None
    pending = None
    started = False
    line_re = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
    with open(map_path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            line = line.rstrip("\n")
            if not started:
                started = line.startswith("Linker script and memory map")
                continue
            section = re.match(r"^(\.\w+)\s+0x[0-9a-f]+\s+0x[0-9a-f]+", line)
            if section:
                output = section.group(1)
                continue
            if re.match(r"^ \S+$", line):  # a long input section name; its numbers follow
                pending = line.strip()
                continue
            match = line_re.match(line)
            if match and output and (match.group(1) or pending):
                size = int(match.group(3), 16)
                if size:
                    yield output, match.group(4), size
            pending = None


def map_contributions(map_path):
    """(output section, origin) -> bytes."""
    contributions = collections.Counter()
    for output, path, size in map_inputs(map_path):
        contributions[(output, origin(path))] += size
    return contributions


def archive_members(map_path, archive):
    """Member object of the archive (such as "libstdc++") -> bytes it puts in the
    program, every section but .bss."""
    members = collections.Counter()
    member_re = re.compile(r"[/\\]" + re.escape(archive) + r"\.a\(([^)]+)\)$")
    for output, path, size in map_inputs(map_path):
        match = member_re.search(path)
        if match and output != ".bss":
            members[match.group(1)] += size
    return members


def main():
    if sys.argv[1] == "--members":
        # size_report.py --members ARCHIVE MAP: "member bytes" lines, largest first.
        for member, size in archive_members(sys.argv[3], sys.argv[2]).most_common():
            print(f"{member} {size}")
        return
    exe = sys.argv[1]
    data = open(exe, "rb").read()
    sections, resource_rva, _ = read_pe(data)
    print(f"size file {len(data)}")
    contributions = map_contributions(sys.argv[2]) if len(sys.argv) > 2 else {}
    # ld names .eh_frame ".eh_fram" in the section table (8 characters).
    full_names = {".eh_fram": ".eh_frame"}
    print(f"{'section':<12}{'in file':>10}  contents (from the link map)")
    headers = 0x400 if not sections else min(s[3] for s in sections if s[4]) or 0x400
    print(f"{'headers':<12}{headers:>10}")
    for name, rva, vsize, raw_offset, raw_size in sections:
        full = full_names.get(name, name)
        print(f"size section {full} {raw_size}")
        parts = sorted(((size, who) for (out, who), size in contributions.items() if out == full), reverse=True)
        listed = sum(size for size, _ in parts)
        detail = ", ".join(f"{who} {size}" for size, who in parts)
        if parts and raw_size > listed:
            detail += f", alignment {raw_size - listed}"
        print(f"{full:<12}{raw_size:>10}  {detail}")
        for size, who in parts:
            print(f"size part {full} {who.replace(' ', '_')} {size}")
    kinds = resources_by_kind(data, sections, resource_rva) if resource_rva else {}
    if kinds:
        print("resources by kind: " + ", ".join(f"{kind} {size}" for kind, size in kinds.most_common()))
        for kind, size in kinds.items():
            print(f"size resource {kind} {size}")
    # One line per origin over every section: the quickest view of where to cut.
    by_origin = collections.Counter()
    for (out, who), size in contributions.items():
        if out != ".bss":
            by_origin[who] += size
    if by_origin:
        print("by origin (all sections but .bss): " + ", ".join(f"{who} {size}" for who, size in by_origin.most_common()))


if __name__ == "__main__":
    main()
