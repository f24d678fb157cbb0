#!/usr/bin/env python3
"""Builds the launcher benchmark's file tree: about 2000 files, a little over
200 MB, in folders of 50: text (slices of the shared corpus's text files),
binaries (executables and shared libraries of this system) and data that is
already compressed (xz-compressed slices of the corpus). Deterministic for a
given system and corpus.

    launcher_bench_data.py CORPUS_FOLDER OUTPUT_FOLDER
"""
import lzma
import os
import shutil
import sys

TEXT_FILES = ["webster.txt", "pydoc.html", "unicode-tables.txt", "words.txt", "cxx-headers.tar"]
TEXT_SIZES = [4096, 16384, 65536, 131072, 262144, 8192, 32768, 98304]
PACKED_SIZES = [262144, 393216, 524288]


def slices(corpus, count, total_limit, sizes):
    sources = [open(os.path.join(corpus, f), "rb").read() for f in TEXT_FILES]
    made, total, i = [], 0, 0
    while len(made) < count and total < total_limit:
        src = sources[i % len(sources)]
        size = sizes[i % len(sizes)]
        start = (i * 7919 * 4096) % max(1, len(src) - size)
        made.append(src[start:start + size])
        total += size
        i += 1
    return made


def binaries(count, total_limit):
    found, total = [], 0
    for folder in ("/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/lib/gcc/x86_64-linux-gnu/12"):
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            size = os.path.getsize(path)
            if size < 2048 or size > 1_000_000 or total + size > total_limit:
                continue
            found.append(path)
            total += size
            if len(found) >= count:
                return found
    return found


def main():
    corpus, out = sys.argv[1], sys.argv[2]
    shutil.rmtree(out, ignore_errors=True)
    files = []
    for i, data in enumerate(slices(corpus, 900, 90_000_000, TEXT_SIZES)):
        files.append(("text", f"t{i:04d}.txt", data))
    for i, data in enumerate(slices(corpus, 500, 400_000_000, PACKED_SIZES)):
        files.append(("packed", f"p{i:04d}.xz", lzma.compress(data, preset=1)))
    for i, path in enumerate(binaries(600, 100_000_000)):
        files.append(("bin", f"b{i:04d}_" + os.path.basename(path), open(path, "rb").read()))
    total = 0
    for n, (kind, name, data) in enumerate(files):
        folder = os.path.join(out, kind, f"d{n // 50:03d}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        total += len(data)
    with open(os.path.join(out, "done.sh"), "w") as f:
        f.write("#!/bin/sh\nexit 0\n")
    print(f"{len(files) + 1} files, {total / 1e6:.1f} MB")


if __name__ == "__main__":
    main()
