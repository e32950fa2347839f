#!/usr/bin/env python3
"""Fails when product code under src/ includes a folder at its own layer or above.

The layers are the ones docs/architecture.md lists, each paragraph opening with
"`folder/` (layer N)". A file may include its own folder and folders of lower layers.
Tests (*_test.cpp) and src/testing/ sit above everything and are not checked.
"""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
layer_line = re.compile(r"^`([a-z_]+)/` \(layer (\d+)\)")
include_line = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"')


def read_layers():
    layers = {}
    for line in (root / "docs/architecture.md").read_text(encoding="utf-8").splitlines():
        m = layer_line.match(line)
        if m:
            layers[m.group(1)] = int(m.group(2))
    return layers


def is_test_code(path):
    return path.parts[0] == "testing" or path.stem.endswith("_test")


def main():
    layers = read_layers()
    src = root / "src"
    problems = []
    folders = sorted(p.name for p in src.iterdir() if p.is_dir())
    for folder in folders:
        if folder != "testing" and folder not in layers:
            problems.append(f"src/{folder}/ has no layer in docs/architecture.md")
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".rc") or len(path.relative_to(src).parts) < 2:
            continue
        rel = path.relative_to(src)
        if is_test_code(rel):
            continue
        own = rel.parts[0]
        for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            m = include_line.match(line)
            if not m or m.group(1) == own:
                continue
            target = m.group(1)
            if target not in layers:
                problems.append(f"src/{rel}:{number}: includes {target}/, which has no layer")
            elif layers[target] >= layers.get(own, 0):
                way = "sideways" if layers[target] == layers[own] else "up"
                problems.append(f"src/{rel}:{number}: {own}/ (layer {layers[own]}) includes "
                                f"{target}/ (layer {layers[target]}): {way}")
    for problem in problems:
        print(problem)
    print(f"layer check: {len(layers)} folders, {len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
