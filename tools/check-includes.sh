#!/usr/bin/env bash
# Prints which top-level folders include which (from the `#include "..."` lines of
# the C++ sources) and fails when the folders form a cycle other than app <-> ui.
# For each cycle it names the include lines that go up (or sideways) in the
# layering below; in a folder the layering does not know yet, the cycle's thinnest
# link, since a new upward include is usually one line against many going down.
# Usage: bash tools/check-includes.sh [ROOT]   (ROOT defaults to this checkout)
set -euo pipefail

root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

python3 - "$root" <<'EOF'
import os
import re
import sys

root = sys.argv[1]
allowed_cycle = {"app", "ui"}
# Lowest first; a folder includes only folders of a lower layer.
layers = [["base"], ["midi", "leaderboard"], ["audio", "render", "input", "net", "persistence", "judge"], ["game"],
          ["level"], ["songimport"], ["ui", "app"], ["server", "tools"], ["tests"]]
layer_of = {folder: number for number, names in enumerate(layers) for folder in names}
include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
folders = sorted(d for d in os.listdir(root)
                 if os.path.isdir(os.path.join(root, d)) and not d.startswith(".") and not d.startswith("build"))

# edges[a][b]: the "file:line: text" of every include of folder b from folder a
edges = {}
for folder in folders:
    for directory, subdirs, files in os.walk(os.path.join(root, folder)):
        subdirs[:] = [d for d in subdirs if not d.startswith(".")]
        for name in sorted(files):
            if not name.endswith((".h", ".hpp", ".c", ".cpp")):
                continue
            path = os.path.join(directory, name)
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = include.match(line)
                    if not match or "/" not in match.group(1):
                        continue
                    target = match.group(1).split("/")[0]
                    if target == folder or target not in folders:
                        continue
                    where = "%s:%d: %s" % (os.path.relpath(path, root), number, line.strip())
                    edges.setdefault(folder, {}).setdefault(target, []).append(where)

for folder in folders:
    targets = sorted(edges.get(folder, {}))
    if targets:
        print("%-12s -> %s" % (folder, " ".join(targets)))

# Strongly connected components (Tarjan); every one of more than a folder is a cycle.
index, low, stack, on_stack, components = {}, {}, [], set(), []

def visit(node):
    index[node] = low[node] = len(index)
    stack.append(node)
    on_stack.add(node)
    for target in edges.get(node, {}):
        if target not in index:
            visit(target)
            low[node] = min(low[node], low[target])
        elif target in on_stack:
            low[node] = min(low[node], index[target])
    if low[node] == index[node]:
        component = set()
        while True:
            member = stack.pop()
            on_stack.discard(member)
            component.add(member)
            if member == node:
                break
        components.append(component)

for folder in folders:
    if folder not in index:
        visit(folder)

def shortest_cycle_through(start, component):
    previous, queue = {start: None}, [start]
    for node in queue:
        for target in sorted(edges.get(node, {})):
            if target not in component:
                continue
            if target == start:
                path = [node]
                while previous[path[-1]] is not None:
                    path.append(previous[path[-1]])
                return list(reversed(path)) + [start]
            if target not in previous:
                previous[target] = node
                queue.append(target)
    return []

failed = False
for component in components:
    if len(component) < 2 or component == allowed_cycle:
        continue
    failed = True
    # One cycle per folder of the component that is not the allowed pair.
    reported = set()
    for start in sorted(component - allowed_cycle) or sorted(component):
        cycle = shortest_cycle_through(start, component)
        links = list(zip(cycle, cycle[1:]))
        if not links or frozenset(links) in reported:
            continue
        reported.add(frozenset(links))
        known = all(folder in layer_of for folder in cycle)
        upward = [link for link in links if set(link) != allowed_cycle and layer_of[link[0]] <= layer_of[link[1]]]
        if not known or not upward:
            upward = [min(links, key=lambda link: len(edges[link[0]][link[1]]))]
        print("include cycle: %s" % " -> ".join(cycle), file=sys.stderr)
        for link in upward:
            for where in edges[link[0]][link[1]]:
                print("  upward include: %s" % where, file=sys.stderr)

if failed:
    print("folders must include downward only (app <-> ui is the one allowed cycle)", file=sys.stderr)
    sys.exit(1)
print("include graph: acyclic apart from app <-> ui")
EOF
