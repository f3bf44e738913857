#!/usr/bin/env python3
"""Reads the built help file back:  tests/help/check_help.py "BUILD_DIR/Quorvane Auravo.chm"

Unpacks it with extract_chmLib (Debian's libchm-bin) and checks that
  - its name is the one the program opens;
  - every topic and popup text file the program's sources ask for is in it;
  - the popup text file has one non-empty text for each help context id that a control of a
    settings page carries in the compiled dialog templates (and none for ids no control has);
  - every link of its topics and of its table of contents leads to a file in it, and to an
    anchor of that file when it names one.
The context ids come from the dialog templates compiled with windres and decoded here, with
this script's own reading of the resource format; nothing is taken from the program's code.
Exits 1 listing every fault.
"""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
from html.parser import HTMLParser

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# The settings pages' dialog templates: Devices, Media Players, Default Audio Device, Other
# Settings.
PAGE_TEMPLATES = (102, 103, 104, 105)
# What the program is known to ask for; the scan of its sources below may only add to it.
KNOWN_REQUESTS = {"startofhelp.htm", "Devices.htm", "mediaplayer.htm", "Allother.htm",
                  "othersettings.htm", "popupdisplay.txt"}
POPUP_FILE = "popupdisplay.txt"
RT_DIALOG = 5
DS_SETFONT = 0x40

faults = []


def fault(text):
    faults.append(text)


# ------------------------------------------------------------------ what the program asks for

def program_sources():
    """The program's own modules (not the simulator's, which quotes topics in its texts)."""
    for module in ("app", "core", "framework", "keys", "players", "settings", "transmitter"):
        for pattern in ("*.cpp", "*.h"):
            yield from glob.glob(os.path.join(ROOT, "src", module, pattern))


def help_file_names():
    names = set()
    for path in program_sources():
        with open(path, encoding="utf-8", errors="replace") as f:
            names.update(re.findall(r'"([^"\\/]+\.chm)"', f.read()))
    return names


def requested_files():
    found = set()
    for path in program_sources():
        with open(path, encoding="utf-8", errors="replace") as f:
            found.update(re.findall(r'"::/([A-Za-z0-9_.-]+)"', f.read()))
    return found | KNOWN_REQUESTS


# ------------------------------------------------------------------ compiled dialog templates

def compile_resources(work):
    windres = shutil.which("i686-w64-mingw32-windres") or shutil.which("windres")
    if not windres:
        sys.exit("check_help: windres not found (scripts/setup installs mingw-w64)")
    out = os.path.join(work, "resources.res")
    subprocess.run([windres, "--input-format=rc", "--output-format=res", "-I", ".",
                    "-i", "KTRResource.rc", "-o", out],
                   cwd=os.path.join(ROOT, "src", "resources"), check=True)
    with open(out, "rb") as f:
        return f.read()


def read_sz_or_ord(data, off):
    """A name or an ordinal: 0xFFFF then a WORD, else a NUL-terminated UTF-16 string."""
    (first,) = struct.unpack_from("<H", data, off)
    if first == 0xFFFF:
        (ordinal,) = struct.unpack_from("<H", data, off + 2)
        return ordinal, off + 4
    end = off
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[off:end].decode("utf-16-le"), end + 2


def align4(off):
    return (off + 3) & ~3


def resources(res):
    """(type, name, data) of each entry of a .res file."""
    off = 0
    while off + 8 <= len(res):
        size, header_size = struct.unpack_from("<II", res, off)
        rtype, name_off = read_sz_or_ord(res, off + 8)
        name, _ = read_sz_or_ord(res, name_off)
        start = off + header_size
        yield rtype, name, res[start:start + size]
        off = align4(start + size)


def dialogex_help_ids(data):
    """Help context ids of a DIALOGEX template: the dialog's own and each control's."""
    version, signature = struct.unpack_from("<HH", data, 0)
    if version != 1 or signature != 0xFFFF:
        raise ValueError("not a DIALOGEX template")
    help_id, _ex_style, style, count = struct.unpack_from("<IIIH", data, 4)
    off = 4 + 12 + 2 + 8
    for _ in range(3):  # menu, class, title
        if struct.unpack_from("<H", data, off)[0] == 0:
            off += 2
        else:
            _, off = read_sz_or_ord(data, off)
    if style & DS_SETFONT:
        off += 6
        _, off = read_sz_or_ord(data, off)
    ids = {}
    if help_id:
        ids[help_id] = "the dialog"
    for _ in range(count):
        off = align4(off)
        item_help, _ex, _style, _x, _y, _cx, _cy, item_id = struct.unpack_from("<IIIhhhhI", data,
                                                                                 off)
        off += 24
        for _ in range(2):  # class, text
            if struct.unpack_from("<H", data, off)[0] == 0:
                off += 2
            else:
                _, off = read_sz_or_ord(data, off)
        (extra,) = struct.unpack_from("<H", data, off)
        off += 2 + extra
        if item_help:
            ids[item_help] = "control %d" % item_id
    return ids


def page_help_ids(work):
    ids = {}
    seen = set()
    for rtype, name, data in resources(compile_resources(work)):
        if rtype == RT_DIALOG and name in PAGE_TEMPLATES:
            seen.add(name)
            for help_id, what in dialogex_help_ids(data).items():
                ids[help_id] = "dialog %d, %s" % (name, what)
    for missing in sorted(set(PAGE_TEMPLATES) - seen):
        fault("no dialog template %d among the compiled resources" % missing)
    return ids


# ------------------------------------------------------------------ the help file's contents

def popup_texts(path):
    """The ".topic N" entries of a text popup file: {N: text}."""
    with open(path, "rb") as f:
        raw = f.read()
    if any(b > 0x7E or (b < 0x20 and b not in b"\r\n\t") for b in raw):
        fault("%s holds characters outside ASCII; the popup window shows them garbled" % POPUP_FILE)
    texts = {}
    current = None
    for line in raw.decode("ascii", errors="replace").splitlines():
        m = re.match(r"^\.topic\s+(\S+)\s*$", line)
        if m:
            if not m.group(1).isdigit():
                fault("%s: topic id %r is not a number" % (POPUP_FILE, m.group(1)))
                current = None
                continue
            current = int(m.group(1))
            if current in texts:
                fault("%s: topic %d given twice" % (POPUP_FILE, current))
            texts[current] = ""
        elif current is not None:
            texts[current] = (texts[current] + " " + line.strip()).strip()
        elif line.strip():
            fault("%s: text before the first .topic: %r" % (POPUP_FILE, line))
    return texts


class Links(HTMLParser):
    def __init__(self):
        super().__init__()
        self.links, self.anchors, self.title = [], set(), False

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "title":
            self.title = True
        if a.get("id"):
            self.anchors.add(a["id"])
        if tag == "a" and a.get("name"):
            self.anchors.add(a["name"])
        for attr in ("href", "src"):
            if a.get(attr):
                self.links.append(a[attr])
        if tag == "param" and (a.get("name") or "").lower() == "local" and a.get("value"):
            self.links.append(a["value"])


def parse(path):
    p = Links()
    with open(path, encoding="utf-8", errors="replace") as f:
        p.feed(f.read())
    return p


def check_links(root):
    pages = {}
    for path in glob.glob(os.path.join(root, "*")):
        name = os.path.basename(path)
        if name.lower().endswith((".htm", ".html", ".hhc", ".hhk")):
            pages[name] = parse(path)
    count = 0
    for name, page in sorted(pages.items()):
        if name.lower().endswith((".htm", ".html")) and not page.title:
            fault("%s has no title" % name)
        for link in page.links:
            count += 1
            if re.match(r"^[a-zA-Z][a-zA-Z0-9+.-]*:", link):
                fault("%s links outside the help file: %s" % (name, link))
                continue
            target, _, anchor = link.partition("#")
            target = target or name
            if not os.path.isfile(os.path.join(root, target)):
                fault("%s links to %s, which is not in the help file" % (name, link))
            elif anchor and anchor not in pages.get(target, Links()).anchors:
                fault("%s links to %s, which has no anchor %r" % (name, target, anchor))
    return len(pages), count


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: check_help.py CHM_FILE")
    chm = sys.argv[1]
    names = help_file_names()
    if os.path.basename(chm) not in names:
        fault("the program opens %s, not %s" % (" or ".join(sorted(names)) or "no .chm",
                                                 os.path.basename(chm)))
    work = tempfile.mkdtemp(prefix="qa-help-")
    try:
        out = os.path.join(work, "chm")
        result = subprocess.run(["extract_chmLib", chm, out], capture_output=True, text=True)
        if result.returncode != 0 or not os.path.isfile(os.path.join(out, "#SYSTEM")):
            sys.exit("check_help: %s cannot be read as a help file\n%s" % (chm, result.stdout))

        requested = requested_files()
        for name in sorted(requested):
            if not os.path.isfile(os.path.join(out, name)):
                fault("the program asks for %s, which is not in the help file" % name)

        texts = popup_texts(os.path.join(out, POPUP_FILE)) \
            if os.path.isfile(os.path.join(out, POPUP_FILE)) else {}
        used = page_help_ids(work)
        for help_id, where in sorted(used.items()):
            if not texts.get(help_id):
                fault("no popup text for help context id %d (%s)" % (help_id, where))
        for help_id in sorted(set(texts) - set(used)):
            fault("popup text %d belongs to no control of a settings page" % help_id)

        pages, links = check_links(out)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    for f in faults:
        print("help: FAULT: " + f)
    if faults:
        print("help: %d faults in %s" % (len(faults), chm))
        return 1
    print("help: %s: %d requested files present, %d popup texts for %d context ids, "
          "%d links in %d pages resolve" % (os.path.basename(chm), len(requested), len(texts),
                                            len(used), links, pages))
    return 0


if __name__ == "__main__":
    sys.exit(main())
