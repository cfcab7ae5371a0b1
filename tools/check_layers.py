#!/usr/bin/env python3
"""Fails when an #include of ours crosses the layers the wrong way.

Every folder may include itself and the folders named for it below; a test
folder may include what the folder it tests may include, that folder and the
test support. Usage: check_layers.py [source-root]   (exit 1 on a crossing)
       check_layers.py --self-test                   (the check catches one)
"""
import os
import re
import sys
import tempfile

LIBS = ["libs/capture", "libs/recorder", "libs/slideshow", "libs/overlay", "libs/crashreport"]
GRAPH_PARTS = ["engine", "base"] + LIBS

# folder -> the folders below it that it may include
ALLOWED = {
    "base": [],
    **{lib: ["base"] for lib in LIBS},
    "channel": ["base"],
    "engine": ["base"],
    "sources": GRAPH_PARTS,
    "effects": GRAPH_PARTS,
    "audio": GRAPH_PARTS,
    "outputs": GRAPH_PARTS + ["channel", "audio"],
    "app": GRAPH_PARTS + ["channel", "audio", "sources", "effects", "outputs"],
    "widgets": ["base"],
    "vcam": ["channel", "base"],
    "setup": ["base"],
}
ALLOWED["ui"] = ALLOWED["app"] + ["app", "widgets"]
ALLOWED["program"] = ALLOWED["ui"] + ["ui"]
ALLOWED["tools"] = ALLOWED["program"]
ALLOWED["bench"] = ALLOWED["program"] + ["vcam", "tests/support"]
ALLOWED["tests/support"] = ALLOWED["outputs"]

# Tests that reach past their folder's own rule, and why.
TEST_EXTRAS = {
    # The reader's end-to-end tests drive the writer's road into it too.
    "tests/vcam": ALLOWED["program"],
    # The pendant tests make their GIFs with the pendant art's writer.
    "tests/effects": ["tools"],
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path, folders):
    """The longest known folder that `path` lies in, or None."""
    best = None
    for folder in folders:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def allowed_for(folder):
    if folder.startswith("tests/") and folder != "tests/support":
        tested = folder[len("tests/"):]
        extras = TEST_EXTRAS.get(folder, [])
        return ALLOWED.get(tested, []) + extras + [tested, folder, "tests/support"]
    return ALLOWED[folder] + [folder]


def crossings(root):
    known = list(ALLOWED) + ["tests/" + f for f in ALLOWED if not f.startswith("tests/")]
    found = []
    for top in sorted(set(k.split("/")[0] for k in known)):
        for dirpath, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(dirpath, name), root)
                folder = folder_of(path, known)
                if folder is None:
                    continue
                with open(os.path.join(root, path), encoding="utf-8") as source:
                    text = source.read()
                for included in INCLUDE.findall(text):
                    target = folder_of(included, known)
                    if target is not None and target not in allowed_for(folder):
                        found.append(f"{path}: includes {included} ({folder} may not include {target})")
    return found


def self_test():
    """A tree with one upward include must fail, the same tree without it pass."""
    with tempfile.TemporaryDirectory() as root:
        def write(path, text):
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w", encoding="utf-8") as out:
                out.write(text)
        write("ui/panel.h", '#include "app/site.h"\n#include "widgets/button.h"\n')
        write("app/site.h", '#include "engine/graph.h"\n')
        write("engine/graph.h", '#include "base/frame.h"\n')
        if crossings(root):
            print("self-test: a correct tree was refused:", crossings(root))
            return 1
        write("engine/graph.cpp", '#include "engine/graph.h"\n#include "ui/panel.h"\n')
        found = crossings(root)
        if len(found) != 1 or "engine/graph.cpp: includes ui/panel.h" not in found[0]:
            print("self-test: the upward include was not caught:", found)
            return 1
    print("self-test: the upward include was caught")
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    root = argv[1] if len(argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    found = crossings(root)
    for line in found:
        print(line)
    print(f"{len(found)} include(s) crossing the layers the wrong way")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
