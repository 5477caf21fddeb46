#!/usr/bin/env python3
"""Every include in lodrix-playlist's folders follows the link arrows of its CMake library:
a file may include headers of its own folder and of the libraries its folder's library links,
directly or through others. A stage that includes a later stage's header, or a library that
includes a stage's, fails here. Usage: include_arrows.py SOURCE_DIR BUILD_DIR"""
import os, re, subprocess, sys, tempfile

source, build = sys.argv[1], sys.argv[2]
root = os.path.join(source, "src", "lodrix-playlist")
with tempfile.TemporaryDirectory() as scratch:
    dot = os.path.join(scratch, "deps.dot")
    subprocess.run(["cmake", "--graphviz=" + dot, build], check=True, stdout=subprocess.DEVNULL)
    text = open(dot).read()
names = dict(re.findall(r'"(node\d+)" \[ label = "([^"]+)"', text))
links = {}
for a, b in re.findall(r'"(node\d+)" -> "(node\d+)"', text):
    links.setdefault(names[a], set()).add(names[b])

def reachable(library):
    seen, todo = set(), [library]
    while todo:
        for linked in links.get(todo.pop(), ()):
            if linked not in seen:
                seen.add(linked)
                todo.append(linked)
    return seen

def library_of(folder):
    """The CMake library a folder's sources belong to: playlist_walk for walk, playlist_cue for lib/cue."""
    return "playlist_" + folder.split("/")[-1]

failures = 0
for directory, _, files in os.walk(root):
    folder = os.path.relpath(directory, root)
    if folder == ".":
        continue
    allowed = {library_of(folder)} | reachable(library_of(folder))
    for name in files:
        if name.endswith("_test.cpp") or not name.endswith((".cpp", ".h")):
            continue
        for included in re.findall(r'#include "lodrix-playlist/(.+)/[^/]+\.h"', open(os.path.join(directory, name)).read()):
            if library_of(included) not in allowed:
                print(f"{folder}/{name} includes lodrix-playlist/{included}/, which {library_of(folder)} does not link")
                failures += 1
print(f"{failures} includes against the arrows" if failures else "every include follows the link arrows")
sys.exit(1 if failures else 0)
