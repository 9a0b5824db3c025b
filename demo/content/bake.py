#!/usr/bin/env python3
"""Copies a content tree with every link made absolute on one address, for
servers that send files unchanged (an object store, a CDN without an nginx
origin).

    bake.py --base-url URL TREE OUTDIR

OUTDIR must not exist; it is made in full or not at all. The tools' dot-files
are left behind.
"""

import argparse
import os
import re
import shutil
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import tree  # noqa: E402


class BakeError(Exception):
    pass


def bake(source, target, base_url):
    if not os.path.isfile(os.path.join(source, tree.FEEDS["topic"])):
        raise BakeError(f"{source} holds no {tree.FEEDS['topic']}: not a content tree")
    if os.path.lexists(target):
        raise BakeError(f"{target} exists already")
    parent = os.path.dirname(os.path.abspath(target))
    partial = os.path.join(parent, f".{os.path.basename(target)}.{os.getpid()}.part")
    try:
        shutil.copytree(source, partial, symlinks=False,
                        ignore=lambda folder, names: [n for n in names if n.startswith(".")])
        for relative in tree.JSON_FILES:
            path = os.path.join(partial, relative)
            if not os.path.isfile(path):
                continue
            with open(path, encoding="utf-8") as f:
                text = f.read()
            tree.write_atomically(path, tree.bake_links(text, base_url).encode("utf-8"))
        os.rename(partial, target)
    except BaseException:
        shutil.rmtree(partial, ignore_errors=True)
        raise


def main(argv):
    parser = argparse.ArgumentParser(
        prog="scripts/bake-content",
        description="Copies a content tree with its links made absolute on one address.")
    parser.add_argument("--base-url", required=True,
                        help="where the copy will be served, e.g. https://cdn.example.com/lorvane")
    parser.add_argument("tree")
    parser.add_argument("outdir")
    args = parser.parse_args(argv[1:])
    if not re.match(r"^https?://[^/\s]+(/\S*)?$", args.base_url):
        raise BakeError(f"--base-url must be an http:// or https:// URL, not {args.base_url!r}")
    bake(os.path.abspath(args.tree), os.path.abspath(args.outdir), args.base_url)
    print(f"bake-content: {args.outdir} holds the tree with links on {args.base_url.rstrip('/')}")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except (BakeError, tree.TreeError, OSError) as error:
        print(f"bake-content: {error}", file=sys.stderr)
        sys.exit(1)
