#!/usr/bin/env python3
"""Reads the resources of the built KEVORevoke.exe (no Windows needed) and
checks them against the wizard as the citizen must see it: dialog 102 with
its 25 controls (kind, position, size, style, initial text), the about box
103, the system-menu string 101, icons 128 and 136, the manifest asking for
common controls 6 and DPI awareness, and the version resource.

usage: check_wizard_resources.py KEVORevoke.exe
"""
import struct
import sys

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 14, 16, 24

WS_POPUP, WS_VISIBLE, WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX = 0x80000000, 0x10000000, 0x00C00000, 0x00080000, 0x00020000
WS_VSCROLL, WS_TABSTOP = 0x00200000, 0x00010000
DS_SETFONT, DS_MODALFRAME = 0x40, 0x80
WS_EX_APPWINDOW = 0x40000
SS_LEFT, SS_CENTER, SS_BLACKFRAME, SS_CENTERIMAGE = 0, 1, 7, 0x200
BS_PUSHBUTTON, BS_DEFPUSHBUTTON = 0, 1
ES_MULTILINE, ES_AUTOHSCROLL, ES_READONLY = 4, 0x80, 0x800
BUTTON, EDIT, STATIC = 0x80, 0x81, 0x82
LABEL = SS_CENTER | SS_CENTERIMAGE

# id, class, x, y, cx, cy, style bits that must be set, initial text
CONTROLS = [
    (1001, STATIC, 5, 11, 231, 14, SS_LEFT, "KEVO   オンライン失効申請機能"),
    (1014, STATIC, 265, 7, 46, 8, SS_LEFT, "画面番号 01"),
    (1015, STATIC, 8, 30, 304, 76, SS_LEFT, ""),
    (1025, STATIC, 8, 30, 304, 50, SS_LEFT, ""),
    (1016, STATIC, 13, 87, 23, 14, LABEL, "氏名"),
    (1017, STATIC, 13, 101, 23, 14, LABEL, "性別"),
    (1024, STATIC, 154, 101, 41, 14, LABEL, "生年月日"),
    (1018, STATIC, 13, 115, 23, 13, LABEL, "住所"),
    (1012, STATIC, 0, 162, 318, 60, SS_LEFT, ""),
    (1031, BUTTON, 15, 186, 39, 11, BS_DEFPUSHBUTTON, "&OK"),
    (1028, BUTTON, 268, 186, 39, 11, BS_PUSHBUTTON, "終了(&E)"),
    (5047, EDIT, 37, 88, 275, 13, ES_READONLY | ES_MULTILINE | WS_VSCROLL, ""),
    (5048, EDIT, 37, 102, 117, 12, ES_READONLY | ES_AUTOHSCROLL, ""),
    (5050, EDIT, 196, 102, 116, 12, ES_READONLY | ES_AUTOHSCROLL, ""),
    (5049, EDIT, 37, 115, 275, 23, ES_READONLY | ES_MULTILINE | WS_VSCROLL, ""),
    (1049, STATIC, 13, 87, 300, 1, SS_BLACKFRAME, ""),
    (1050, STATIC, 13, 101, 300, 1, SS_BLACKFRAME, ""),
    (1051, STATIC, 13, 114, 300, 1, SS_BLACKFRAME, ""),
    (1052, STATIC, 13, 127, 23, 1, SS_BLACKFRAME, ""),
    (1053, STATIC, 36, 138, 277, 1, SS_BLACKFRAME, ""),
    (1054, STATIC, 13, 87, 1, 40, SS_BLACKFRAME, ""),
    (1055, STATIC, 36, 87, 1, 51, SS_BLACKFRAME, ""),
    (1056, STATIC, 154, 101, 1, 14, SS_BLACKFRAME, ""),
    (1057, STATIC, 195, 101, 1, 14, SS_BLACKFRAME, ""),
    (1058, STATIC, 312, 87, 1, 51, SS_BLACKFRAME, ""),
]
STATIC_KIND_MASK = 0x1F  # SS_TYPEMASK
BUTTON_KIND_MASK = 0x0F  # BS_TYPEMASK


def resources(image):
    """{(type, id): bytes} of the first language of each resource."""
    e_lfanew = struct.unpack_from("<I", image, 0x3C)[0]
    sections = struct.unpack_from("<H", image, e_lfanew + 6)[0]
    optional = struct.unpack_from("<H", image, e_lfanew + 20)[0]
    table = e_lfanew + 24 + optional
    rsrc_rva = struct.unpack_from("<I", image, e_lfanew + 24 + 96 + 2 * 8)[0]
    for i in range(sections):
        name, vsize, rva, rawsize, rawptr = struct.unpack_from("<8sIIII", image, table + 40 * i)
        if rva <= rsrc_rva < rva + max(vsize, rawsize):
            base_file, base_rva = rawptr + (rsrc_rva - rva), rva
            break
    else:
        raise SystemExit("no resource section")
    root = base_file

    def entries(offset):
        named, ids = struct.unpack_from("<HH", image, offset + 12)
        for k in range(named + ids):
            ident, target = struct.unpack_from("<II", image, offset + 16 + 8 * k)
            yield ident, target

    found = {}
    for rtype, t1 in entries(root):
        for rid, t2 in entries(root + (t1 & 0x7FFFFFFF)):
            for _lang, t3 in entries(root + (t2 & 0x7FFFFFFF)):
                data_rva, size = struct.unpack_from("<II", image, root + t3)
                start = data_rva - base_rva + (base_file - (rsrc_rva - base_rva))
                found[(rtype, rid)] = image[start:start + size]
                break
    return found


def sz_or_ordinal(data, pos):
    first = struct.unpack_from("<H", data, pos)[0]
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    end = pos
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


def parse_dialogex(data):
    ver, sig, _help, exstyle, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data, 0)
    assert (ver, sig) == (1, 0xFFFF), "not a DIALOGEX"
    pos = 26
    _menu, pos = sz_or_ordinal(data, pos)
    _cls, pos = sz_or_ordinal(data, pos)
    title, pos = sz_or_ordinal(data, pos)
    point, weight, italic, charset = struct.unpack_from("<HHBB", data, pos)
    face, pos = sz_or_ordinal(data, pos + 6)
    dialog = dict(style=style, exstyle=exstyle, size=(cx, cy), title=title, font=(face, point, weight, charset))
    items = []
    for _ in range(count):
        pos = (pos + 3) & ~3
        _help, ex, st, ix, iy, icx, icy, ident = struct.unpack_from("<IIIhhhhI", data, pos)
        pos += 24
        cls, pos = sz_or_ordinal(data, pos)
        text, pos = sz_or_ordinal(data, pos)
        extra = struct.unpack_from("<H", data, pos)[0]
        pos += 2 + extra
        items.append(dict(id=ident, cls=cls, rect=(ix, iy, icx, icy), style=st, text=text))
    dialog["items"] = items
    return dialog


def string_resource(found, ident):
    block = found[(RT_STRING, ident // 16 + 1)]
    pos = 0
    for index in range(16):
        length = struct.unpack_from("<H", block, pos)[0]
        text = block[pos + 2:pos + 2 + 2 * length].decode("utf-16-le")
        if index == ident % 16:
            return text
        pos += 2 + 2 * length


def main():
    image = open(sys.argv[1], "rb").read()
    found = resources(image)
    failures = []

    def expect(what, got, want):
        if got != want:
            failures.append("%s: got %r, want %r" % (what, got, want))

    wizard = parse_dialogex(found[(RT_DIALOG, 102)])
    want_style = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX
    expect("dialog 102 style", wizard["style"] & want_style, want_style)
    expect("dialog 102 extended style", wizard["exstyle"] & WS_EX_APPWINDOW, WS_EX_APPWINDOW)
    expect("dialog 102 size", wizard["size"], (319, 204))
    expect("dialog 102 caption", wizard["title"], "KEVO オンライン失効申請機能 ")
    expect("dialog 102 font", wizard["font"], ("ＭＳ ゴシック", 11, 400, 128))
    items = {item["id"]: item for item in wizard["items"]}
    expect("dialog 102 control count", len(wizard["items"]), 25)
    for ident, cls, x, y, cx, cy, bits, text in CONTROLS:
        item = items.get(ident)
        if item is None:
            failures.append("control %d missing" % ident)
            continue
        # A class is stored as its predefined ordinal or by name.
        named = {"BUTTON": BUTTON, "EDIT": EDIT, "STATIC": STATIC}
        kind = named.get(item["cls"].upper(), item["cls"]) if isinstance(item["cls"], str) else item["cls"]
        expect("control %d class" % ident, kind, cls)
        expect("control %d rect" % ident, item["rect"], (x, y, cx, cy))
        expect("control %d text" % ident, item["text"], text)
        style = item["style"]
        if cls == STATIC:
            expect("control %d kind" % ident, style & STATIC_KIND_MASK, bits & STATIC_KIND_MASK)
            expect("control %d centring" % ident, style & SS_CENTERIMAGE, bits & SS_CENTERIMAGE)
        elif cls == BUTTON:
            expect("control %d kind" % ident, style & BUTTON_KIND_MASK, bits)
            expect("control %d tab stop" % ident, style & WS_TABSTOP, WS_TABSTOP)
        else:
            expect("control %d style" % ident, style & bits, bits)

    about = parse_dialogex(found[(RT_DIALOG, 103)])
    expect("dialog 103 size", about["size"], (170, 62))
    expect("dialog 103 caption", about["title"], "バージョン情報 KEVORevoke")
    expect("dialog 103 font", about["font"][:2], ("MS UI Gothic", 9))
    about_texts = [item["text"] for item in about["items"]]
    expect("about box text", "KEVORevoke, Version 1.0" in about_texts, True)
    expect("about box icon", 128 in about_texts, True)
    expect("about box OK button", [i["id"] for i in about["items"] if i["text"] == "OK"], [1])

    expect("string 101", string_resource(found, 101), "バージョン情報 KEVORevoke(&A)...")
    for icon in (128, 136):
        expect("icon group %d present" % icon, (RT_GROUP_ICON, icon) in found, True)
    manifest = found.get((RT_MANIFEST, 1), b"").decode("utf-8", "replace")
    expect("manifest: common controls 6", 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' in manifest, True)
    expect("manifest: asInvoker", 'level="asInvoker"' in manifest, True)
    expect("manifest: system DPI aware", ">true</dpiAware>" in manifest, True)
    expect("manifest: per-monitor v2", ">PerMonitorV2</dpiAwareness>" in manifest, True)
    expect("manifest: made for Windows 10", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" in manifest, True)
    version = found.get((RT_VERSION, 1), b"").decode("utf-16-le", "replace")
    expect("version resource names the program", "KEVORevoke.exe" in version, True)

    for line in failures:
        print(line)
    print("%d resource checks failed" % len(failures) if failures else "wizard resources as specified")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
