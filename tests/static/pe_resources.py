#!/usr/bin/env python3
"""Reads the resources of a PE file and checks those Setup must carry.

Usage: pe_resources.py EXE [--messages res/messages.txt]

Prints one line per resource and per check, and exits 1 if any check fails:
dialog 101 (style, font, size, every control in order), icon group 102 (two
32x32 images, 4 and 8 bits per pixel), the string table (ids 1001..1064 and
2001..2064 without 1038 and 2038; with --messages each text byte for byte in
Windows-1250), the manifest (asInvoker, no UI access) and the version
resource (1.0.0.16, FileDescription "Setup", ...).
"""
import re
import struct
import sys

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 14, 16, 24
TYPE_NAMES = {1: "CURSOR", 2: "BITMAP", 3: "ICON", 4: "MENU", 5: "DIALOG", 6: "STRING",
              9: "ACCELERATOR", 10: "RCDATA", 12: "GROUP_CURSOR", 14: "GROUP_ICON",
              16: "VERSION", 24: "MANIFEST"}

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_SYSMENU = 0x00C00000, 0x00800000, 0x00080000
WS_GROUP, WS_TABSTOP, WS_MINIMIZEBOX = 0x00020000, 0x00010000, 0x00020000
DS_SETFONT, DS_MODALFRAME, DS_CENTER = 0x40, 0x80, 0x800
SS_TYPEMASK, SS_LEFT, SS_CENTER, SS_NOTIFY = 0x1F, 0x0, 0x1, 0x100
ES_AUTOHSCROLL = 0x80
BS_TYPEMASK, BS_PUSHBUTTON = 0xF, 0x0

# id, class, type, required style bits, rectangle; template order is tab order.
LABEL = ("Static", SS_LEFT, WS_GROUP)
EDIT = ("Edit", None, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL)
BUTTON = ("Button", BS_PUSHBUTTON, WS_TABSTOP)
DIALOG_CONTROLS = [
    (1009, LABEL, (5, 30, 230, 8)),
    (1000, EDIT, (5, 40, 230, 14)),
    (1001, BUTTON, (236, 41, 12, 11)),
    (1008, LABEL, (5, 60, 230, 8)),
    (1002, EDIT, (5, 70, 230, 14)),
    (1003, BUTTON, (235, 72, 12, 11)),
    (1, BUTTON, (125, 90, 50, 14)),
    (2, BUTTON, (180, 90, 50, 14)),
    (1007, LABEL, (5, 105, 240, 8)),
    (1011, ("Static", SS_CENTER, SS_NOTIFY), (5, 93, 110, 8)),
    (1010, LABEL, (5, 5, 245, 20)),
]
DIALOG_STYLE = (DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION |
                WS_SYSMENU | WS_MINIMIZEBOX)
ATOM_CLASSES = {0x80: "Button", 0x81: "Edit", 0x82: "Static", 0x83: "ListBox",
                0x84: "ScrollBar", 0x85: "ComboBox"}


class PeError(Exception):
    pass


def u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


def read_resources(data):
    """Returns {(type, name): [(lang, bytes)]} with numeric types and names."""
    if data[:2] != b"MZ":
        raise PeError("no MZ header")
    pe = u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE signature")
    nsections = u16(data, pe + 6)
    opt_size = u16(data, pe + 20)
    opt = pe + 24
    magic = u16(data, opt)
    dirs = opt + (96 if magic == 0x10B else 112)
    rsrc_rva = u32(data, dirs + 2 * 8)
    sections = []
    for i in range(nsections):
        s = opt + opt_size + 40 * i
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
        sections.append((va, max(vsize, rawsize), rawptr))

    def offset(rva):
        for va, size, raw in sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise PeError("RVA 0x%x outside every section" % rva)

    if rsrc_rva == 0:
        return {}
    base = offset(rsrc_rva)

    def entries(off):
        named, ids = u16(data, base + off + 12), u16(data, base + off + 14)
        for i in range(named + ids):
            e = base + off + 16 + 8 * i
            name, target = u32(data, e), u32(data, e + 4)
            if name & 0x80000000:
                o = base + (name & 0x7FFFFFFF)
                n = u16(data, o)
                name = data[o + 2:o + 2 + 2 * n].decode("utf-16-le")
            yield name, target

    result = {}
    for rtype, t in entries(0):
        for name, n in entries(t & 0x7FFFFFFF):
            for lang, leaf in entries(n & 0x7FFFFFFF):
                if leaf & 0x80000000:
                    raise PeError("resource tree deeper than three levels")
                rva, size = u32(data, base + leaf), u32(data, base + leaf + 4)
                o = offset(rva)
                result.setdefault((rtype, name), []).append((lang, data[o:o + size]))
    return result


# ---- dialog ----

def read_sz_or_ord(b, o):
    """A name-or-ordinal field of a dialog template: (value, next offset)."""
    first = u16(b, o)
    if first == 0xFFFF:
        return u16(b, o + 2), o + 4
    end = o
    while u16(b, end) != 0:
        end += 2
    return b[o:end].decode("utf-16-le"), end + 2


def align4(o):
    return (o + 3) & ~3


def parse_dialog(b):
    ex = u16(b, 0) == 1 and u16(b, 2) == 0xFFFF
    if ex:
        _, _, _, exstyle, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", b, 0)
        o = 26
    else:
        style, exstyle, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", b, 0)
        o = 18
    menu, o = read_sz_or_ord(b, o)
    wclass, o = read_sz_or_ord(b, o)
    caption, o = read_sz_or_ord(b, o)
    font = None
    if style & DS_SETFONT:
        size = u16(b, o)
        o += 2
        if ex:
            o += 4  # weight, italic, charset
        face, o = read_sz_or_ord(b, o)
        font = (size, face)
    controls = []
    for _ in range(count):
        o = align4(o)
        if ex:
            _, cexstyle, cstyle, cx_, cy_, cw, ch, cid = struct.unpack_from("<IIIhhhhI", b, o)
            o += 24
        else:
            cstyle, cexstyle, cx_, cy_, cw, ch, cid = struct.unpack_from("<IIhhhhH", b, o)
            o += 18
        cls, o = read_sz_or_ord(b, o)
        if isinstance(cls, int):
            cls = ATOM_CLASSES.get(cls, "#%d" % cls)
        text, o = read_sz_or_ord(b, o)
        extra = u16(b, o)
        o += 2 + extra
        controls.append({"id": cid, "class": cls, "style": cstyle,
                         "rect": (cx_, cy_, cw, ch), "text": text})
    return {"style": style, "rect": (x, y, cx, cy), "caption": caption,
            "font": font, "controls": controls, "menu": menu, "class": wclass}


def check_dialog(dlg, report):
    report(dlg["style"] & DIALOG_STYLE == DIALOG_STYLE and not dlg["style"] & WS_CHILD,
           "dialog 101 style 0x%08x (popup, caption, system menu, minimise box, "
           "modal frame, centred)" % dlg["style"])
    report(dlg["rect"][2:] == (252, 114), "dialog 101 size %d x %d" % dlg["rect"][2:])
    report(dlg["font"] == (8, "MS Sans Serif"), "dialog 101 font %s" % (dlg["font"],))
    report(dlg["caption"] == "Zm\u011bna cest...", "dialog 101 caption %r" % dlg["caption"])
    got = [c["id"] for c in dlg["controls"]]
    want = [c[0] for c in DIALOG_CONTROLS]
    report(got == want, "dialog 101 controls in order %s" % got)
    if got != want:
        return
    for c, (cid, (cls, ctype, bits), rect) in zip(dlg["controls"], DIALOG_CONTROLS):
        style = c["style"]
        ok = (c["class"].lower() == cls.lower() and style & bits == bits and
              style & (WS_CHILD | WS_VISIBLE) == WS_CHILD | WS_VISIBLE and
              c["rect"] == rect)
        if cls == "Static":
            ok = ok and style & SS_TYPEMASK == ctype
        if cls == "Button":
            ok = ok and style & BS_TYPEMASK == ctype  # no BS_DEFPUSHBUTTON
        report(ok, "control %4d %-6s style 0x%08x rect %s text %r"
               % (cid, c["class"], style, c["rect"], c["text"]))


# ---- icon group ----

def check_icons(res, report):
    group = res.get((RT_GROUP_ICON, 102))
    report(group is not None, "icon group 102 present")
    if not group:
        return
    b = group[0][1]
    count = u16(b, 4)
    images = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", b, 6 + 14 * i)
        icon = res.get((RT_ICON, icon_id))
        header_ok = False
        if icon:
            hdr = icon[0][1]
            header_ok = (u32(hdr, 0) == 40 and struct.unpack_from("<i", hdr, 4)[0] == 32 and
                         struct.unpack_from("<i", hdr, 8)[0] == 64 and u16(hdr, 14) == bits)
        images.append((w or 256, h or 256, bits))
        report(header_ok, "icon %d: %dx%d, %d bpp" % (icon_id, w or 256, h or 256, bits))
    report(sorted(images) == [(32, 32, 4), (32, 32, 8)],
           "icon group 102 holds 32x32 in 16 and 256 colours")


# ---- string table ----

def read_strings(res):
    strings = {}
    for (rtype, block), entries in res.items():
        if rtype != RT_STRING or not isinstance(block, int):
            continue
        b = entries[0][1]
        o = 0
        for i in range(16):
            n = u16(b, o)
            o += 2
            if n:
                strings[(block - 1) * 16 + i] = b[o:o + 2 * n].decode("utf-16-le")
            o += 2 * n
    return strings


def read_messages(path):
    texts = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            sid, text = line.split(" ", 1)
            text = re.sub(r"\\(.)", lambda m: "\n" if m.group(1) == "n" else m.group(1), text)
            texts[int(sid)] = text.encode("cp1250")
    return texts


def brief(ids):
    return "%s%s" % (ids[:8], " and %d more" % (len(ids) - 8) if len(ids) > 8 else "")


def check_strings(res, messages_path, report):
    strings = read_strings(res)
    want = {base + n for base in (1000, 2000) for n in range(1, 65) if n != 38}
    missing = sorted(want - set(strings))
    report(not missing, "string table: %d strings, ids 1001..1064 and 2001..2064 present%s"
           % (len(strings), " (missing %s)" % brief(missing) if missing else ""))
    report(1038 not in strings and 2038 not in strings, "string table: no 1038, no 2038")
    if not messages_path:
        return
    expected = read_messages(messages_path)
    wrong = []
    for sid, raw in sorted(expected.items()):
        try:
            got = strings.get(sid, "").encode("cp1250")
        except UnicodeEncodeError:
            got = None
        if got != raw:
            wrong.append(sid)
    report(not wrong and set(expected) == want,
           "string table: %d texts equal to the catalogue in Windows-1250%s"
           % (len(expected), " (differ: %s)" % brief(wrong) if wrong else ""))


# ---- manifest ----

def check_manifest(res, report):
    m = res.get((RT_MANIFEST, 1))
    report(m is not None, "manifest (RT_MANIFEST 1) present")
    if not m:
        return
    text = m[0][1].decode("utf-8", "replace")
    level = re.search(r"<requestedExecutionLevel\b([^>]*)>", text)
    attrs = dict(re.findall(r'(\w+)\s*=\s*"([^"]*)"', level.group(1))) if level else {}
    report(attrs.get("level") == "asInvoker" and attrs.get("uiAccess") == "false",
           "manifest: requestedExecutionLevel %s" % attrs)
    report(len(res.get((RT_MANIFEST, 1))) == 1 and
           not [k for k in res if k[0] == RT_MANIFEST and k[1] != 1],
           "manifest: exactly one")


# ---- version ----

def parse_version_node(b, o):
    length, value_len, vtype = struct.unpack_from("<HHH", b, o)
    end = o + length
    k = o + 6
    kend = k
    while u16(b, kend) != 0:
        kend += 2
    key = b[k:kend].decode("utf-16-le")
    v = align4(kend + 2)
    vbytes = value_len * 2 if vtype == 1 else value_len
    value = b[v:v + vbytes]
    children = []
    c = align4(v + vbytes)
    while c < end:
        child, c = parse_version_node(b, c)
        children.append(child)
        c = align4(c)
    return (key, vtype, value, children), end


def check_version(res, report):
    v = res.get((RT_VERSION, 1))
    report(v is not None, "version resource present")
    if not v:
        return
    root, _ = parse_version_node(v[0][1], 0)
    key, _, fixed, children = root
    ok = key == "VS_VERSION_INFO" and len(fixed) >= 52 and u32(fixed, 0) == 0xFEEF04BD
    if ok:
        fv = (u32(fixed, 8) >> 16, u32(fixed, 8) & 0xFFFF, u32(fixed, 12) >> 16, u32(fixed, 12) & 0xFFFF)
        pv = (u32(fixed, 16) >> 16, u32(fixed, 16) & 0xFFFF, u32(fixed, 20) >> 16, u32(fixed, 20) & 0xFFFF)
        report(fv == (1, 0, 0, 16) and pv == (1, 0, 0, 16),
               "version: file %s, product %s" % (".".join(map(str, fv)), ".".join(map(str, pv))))
    else:
        report(False, "version: VS_FIXEDFILEINFO")
    values = {}
    for ckey, _, _, tables in children:
        if ckey != "StringFileInfo":
            continue
        for _, _, _, strings in tables:
            for skey, _, sval, _ in strings:
                values[skey] = sval.decode("utf-16-le").rstrip("\0")
    want = {"FileDescription": "Setup", "InternalName": "Setup",
            "OriginalFilename": "Setup.exe", "FileVersion": "1.0.0.16",
            "ProductVersion": "1.0.0.16"}
    for k, val in want.items():
        report(values.get(k) == val, "version: %s = %r" % (k, values.get(k)))


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--messages"):
        print(__doc__)
        return 2
    with open(argv[1], "rb") as f:
        data = f.read()
    failures = []

    def report(ok, text):
        print("  %s %s" % ("ok  " if ok else "FAIL", text))
        if not ok:
            failures.append(text)

    try:
        res = read_resources(data)
        print("resources:")
        order = lambda v: (0, v, "") if isinstance(v, int) else (1, 0, v)
        for (rtype, name), entries in sorted(res.items(), key=lambda kv: (order(kv[0][0]), order(kv[0][1]))):
            for lang, raw in entries:
                print("    %-12s %-6s lang 0x%04x %6d bytes"
                      % (TYPE_NAMES.get(rtype, rtype), name, lang, len(raw)))
        dlg = res.get((RT_DIALOG, 101))
        report(dlg is not None, "dialog 101 present")
        if dlg:
            check_dialog(parse_dialog(dlg[0][1]), report)
        check_icons(res, report)
        check_strings(res, argv[3] if len(argv) == 4 else None, report)
        check_manifest(res, report)
        check_version(res, report)
    except (PeError, struct.error, IndexError, UnicodeDecodeError) as e:
        report(False, "cannot read the resources: %s" % e)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
