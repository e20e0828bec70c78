#!/usr/bin/env python3
"""Fails when a source includes a header of a layer above it or beside it.

Each folder is one library; a folder may include its own headers and those of the
folders it builds on (directly or through them). The core folders include no Qt.
Usage: check_includes.py [SOURCE_ROOT]   (the project root by default)
"""
import os
import re
import sys

# Each folder and the folders it builds on directly; the CMake libraries link the same.
LAYERS = {
    "platform": [],
    "base": ["platform"],
    "storage": ["base"],
    "bench": ["storage"],
    "results": ["bench"],
    "view": ["results"],
    "net": ["results"],
    "app": ["view", "net"],
    "maker": ["view", "net"],
    "base/gui": ["base"],
    "view/render": ["view"],
    "view/gui": ["view/render", "base/gui"],
    "results/gui": ["view/gui"],
    "net/gui": ["net", "results/gui"],
    "app/gui": ["app", "net/gui"],
    "cli": ["app", "maker", "view/render"],
}
QT_FOLDERS = {name for name in LAYERS if name.endswith(("/gui", "/render"))}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def allowed(folder):
    seen = set()
    todo = [folder]
    while todo:
        name = todo.pop()
        if name not in seen:
            seen.add(name)
            todo.extend(LAYERS[name])
    return seen


def folder_of(path):
    """The layer a project path belongs to: the longest LAYERS key it starts with."""
    best = None
    for name in LAYERS:
        if path == name or path.startswith(name + "/"):
            if best is None or len(name) > len(best):
                best = name
    return best


def check_file(root, relative, problems):
    folder = folder_of(relative)
    permitted = allowed(folder)
    with open(os.path.join(root, relative), encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            kind, header = match.groups()
            where = f"{relative}:{number}"
            if kind == "<" and folder not in QT_FOLDERS and re.match(r"Q[A-Za-z]", header):
                problems.append(f"{where}: {folder} includes Qt header <{header}>")
            if kind != '"' or "/" not in header:
                continue
            target = folder_of(os.path.dirname(header))
            if target is not None and target not in permitted:
                problems.append(f"{where}: {folder} may not include {header} (layer {target})")


def check_tree(root):
    problems = []
    for folder in LAYERS:
        for directory, _, names in os.walk(os.path.join(root, folder)):
            inside = os.path.relpath(directory, root)
            # A subfolder that is a layer of its own is checked under its own name.
            if folder_of(inside) != folder:
                continue
            for entry in sorted(names):
                if entry.endswith((".h", ".cpp", ".h.in")):
                    check_file(root, f"{inside}/{entry}", problems)
    for folder in sorted(os.listdir(root)):
        path = os.path.join(root, folder)
        if folder in ("tests", "benchmarks", "scripts", "docs", "build") or folder.startswith("."):
            continue
        if os.path.isdir(path) and folder_of(folder) is None and any(
            name.endswith((".h", ".cpp")) for name in os.listdir(path)
        ):
            problems.append(f"{folder}/: sources in a folder that is no layer")
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    problems = check_tree(os.path.abspath(root))
    for problem in problems:
        print(problem)
    print(f"{len(problems)} include(s) against the layer order")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
