#!/usr/bin/env python3
"""Checks the launcher's compiled resources against the dialog it must show:
template 102 with its caption, font, size and four items with their exact
styles, and icon group 101 with two images.

    check_resources.py WINDRES launcher.rc WORKDIR
"""
import os
import struct
import subprocess
import sys

RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14


def sz_or_ord(data, at):
    if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    text = data[at:end].decode("utf-16-le")
    return (text if text else 0), end + 2  # an empty text is "none"


def resources(data):
    at = 0
    while at < len(data):
        size, header = struct.unpack_from("<II", data, at)
        kind, p = sz_or_ord(data, at + 8)
        name, p = sz_or_ord(data, p)
        p = (p + 3) & ~3
        _, _, language = struct.unpack_from("<IHH", data, p)
        body = data[at + header:at + header + size]
        if size or header != 32:
            yield kind, name, language, body
        at = (at + header + size + 3) & ~3


def dialog(body):
    style, ex, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", body, 0)
    menu, p = sz_or_ord(body, 18)
    cls, p = sz_or_ord(body, p)
    title, p = sz_or_ord(body, p)
    points = struct.unpack_from("<H", body, p)[0]
    font, p = sz_or_ord(body, p + 2)
    items = []
    for _ in range(count):  # class names compare without case
        p = (p + 3) & ~3
        istyle, iex, ix, iy, icx, icy, iid = struct.unpack_from("<IIhhhhH", body, p)
        icls, p = sz_or_ord(body, p + 18)
        ititle, p = sz_or_ord(body, p)
        extra = struct.unpack_from("<H", body, p)[0]
        p += 2 + extra
        items.append((iid, icls, ititle, hex(istyle), (ix, iy, icx, icy), iex))
    return dict(style=hex(style), ex=ex, rect=(x, y, cx, cy), menu=menu, cls=cls, title=title,
                font=(points, font), items=items)


def main():
    windres, rc, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    out = os.path.join(work, "launcher.res")
    subprocess.check_call([windres, "-I", os.path.dirname(rc), "-i", rc, "-O", "res", "-o", out])
    found = {(k, n): (lang, body) for k, n, lang, body in resources(open(out, "rb").read())}

    d = dialog(found[(RT_DIALOG, 102)][1])
    expected = dict(style="0xc800c0", ex=0, rect=(0, 0, 226, 62), menu=0, cls=0, title="Initializing",
                    font=(8, "MS Sans Serif"),
                    items=[(1, 0x80, "Cancel", "0x50010000", (169, 41, 50, 14), 0),
                           (1000, 0x82, "...", "0x50020000", (7, 7, 212, 8), 0),
                           (1001, "MSCTLS_PROGRESS32", "Progress1", "0x50800001", (7, 19, 212, 14), 0)])
    ok = True
    for key, value in expected.items():
        if d[key] != value:
            print(f"dialog 102 {key}: {d[key]!r}, expected {value!r}")
            ok = False

    group = found[(RT_GROUP_ICON, 101)][1]
    _, kind, count = struct.unpack_from("<HHH", group, 0)
    sizes = sorted(struct.unpack_from("<B", group, 6 + 14 * i)[0] for i in range(count))
    if kind != 1 or sizes != [16, 32]:
        print(f"icon group 101: kind {kind}, sizes {sizes}")
        ok = False
    if not all(lang == 0 for lang, _ in found.values()):
        print("resources are not language-neutral")
        ok = False
    print("resources as expected" if ok else "resources differ")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
