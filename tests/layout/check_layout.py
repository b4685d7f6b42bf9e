#!/usr/bin/env python3
"""Checks the shape of the source tree.

  check_layout.py includes SOURCE_DIR  every #include "..." of the program's code runs down
                                       the layers or along an allowed arrow (allowed_arrows.txt)
  check_layout.py map SOURCE_DIR       every folder of the tree is in the README's folder map

Prints one line per fault and exits 1 when there is any."""

import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SKIPPED = {".git", "__pycache__", ".cache"}


def read_table(path):
    layers, arrows = [], {}
    for number, raw in enumerate(open(path, encoding="utf-8"), 1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        if line.startswith("layers:"):
            layers = line.split(":", 1)[1].split()
        elif "->" in line:
            source, targets = line.split("->", 1)
            arrows[source.strip()] = set(targets.split())
        else:
            sys.exit(f"{path}:{number}: not a layer list or an arrow: {line}")
    return layers, arrows


def folder_of(path, arrows):
    """The folder a path belongs to: a layer's subfolder when the table names it, else the layer."""
    parts = path.split("/")
    if len(parts) > 2 and "/".join(parts[:2]) in arrows:
        return "/".join(parts[:2])
    return parts[0]


def cycle_in(arrows):
    state = {}

    def visit(node, trail):
        if state.get(node) == "open":
            return trail[trail.index(node):] + [node]
        if state.get(node) == "done":
            return None
        state[node] = "open"
        for target in sorted(arrows.get(node, ())):
            found = visit(target, trail + [node])
            if found:
                return found
        state[node] = "done"
        return None

    for node in sorted(arrows):
        found = visit(node, [])
        if found:
            return found
    return None


def subfolders(root, layer):
    base = os.path.join(root, layer)
    return sorted(name for name in os.listdir(base)
                  if os.path.isdir(os.path.join(base, name)) and name not in SKIPPED)


def check_includes(root):
    layers, arrows = read_table(os.path.join(HERE, "allowed_arrows.txt"))
    faults = []
    cycle = cycle_in(arrows)
    if cycle:
        faults.append("allowed_arrows.txt: the arrows make a cycle: " + " -> ".join(cycle))
    rank = {layer: index for index, layer in enumerate(layers)}
    layered = {folder.split("/")[0] for folder in arrows}
    for layer in sorted(layered):
        for name in subfolders(root, layer):
            if f"{layer}/{name}" not in arrows:
                faults.append(f"{layer}/{name}/: a folder without its line in allowed_arrows.txt")
        for name in sorted(os.listdir(os.path.join(root, layer))):
            if name.endswith((".h", ".cpp")):
                faults.append(f"{layer}/{name}: code outside the folders of {layer}/")
    for layer in layers:
        for directory, names, files in os.walk(os.path.join(root, layer)):
            names[:] = [name for name in names if name not in SKIPPED]
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(directory, name), root)
                source = folder_of(path, arrows)
                text = open(os.path.join(root, path), encoding="utf-8").read()
                for number, line in enumerate(text.splitlines(), 1):
                    match = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
                    if not match or "/" not in match.group(1):
                        continue
                    target = folder_of(match.group(1), arrows)
                    if target == source or target.split("/")[0] not in rank:
                        continue
                    here, there = rank[source.split("/")[0]], rank[target.split("/")[0]]
                    if there > here:
                        faults.append(f"{path}:{number}: includes {match.group(1)}, "
                                      f"a layer above {source}/")
                    elif there == here and target not in arrows.get(source, set()):
                        faults.append(f"{path}:{number}: includes {match.group(1)}, but "
                                      f"{source} -> {target} is not in allowed_arrows.txt")
    return faults


def check_map(root):
    layers, _ = read_table(os.path.join(HERE, "allowed_arrows.txt"))
    readme = open(os.path.join(root, "README.md"), encoding="utf-8").read()
    mapped = {name for cell in re.findall(r"^\|([^|]*)\|", readme, re.MULTILINE)
               for name in re.findall(r"`([^`]+)/`", cell)}
    faults = []
    for name in sorted(os.listdir(root)):
        if (not os.path.isdir(os.path.join(root, name)) or name in SKIPPED
                or name.startswith("build") or (name.startswith(".") and name != ".ci")):
            continue
        if name not in mapped:
            faults.append(f"{name}/: missing from the README's folder map")
        if name in layers:
            for sub in subfolders(root, name):
                if f"{name}/{sub}" not in mapped:
                    faults.append(f"{name}/{sub}/: missing from the README's folder map")
    return faults


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("includes", "map"):
        sys.exit(__doc__)
    check = check_includes if sys.argv[1] == "includes" else check_map
    faults = check(sys.argv[2])
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
