#!/usr/bin/env python3
"""Checks the resources compiled into Tessaloom.exe (dialogs, strings, version record, icon,
manifest) in the text windres decompiles them to. Prints one line per check; exits 1 if any
check fails.

usage: resource-check.py TESSALOOM-EXE [WINDRES]
"""
import difflib
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

# Dialog styles: DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU, the main
# dialog also WS_VISIBLE and WS_EX_APPWINDOW. The About box's icon keeps its template size.
ABOUT_BOX = """\
100 DIALOGEX 0, 0, 235, 55
STYLE 0x80c800c0
CAPTION "About Tessaloom"
FONT 8, "MS Sans Serif"
BEGIN
  ICON 128, -1, 11, 17, 20, 20, 0x50000003
  CONTROL "Tessaloom Version 1.3", -1, 130, 0x50020080, 40, 10, 119, 8
  LTEXT "Copies Quorvane for testing", -1, 40, 25, 119, 8, 0x50020000
  DEFPUSHBUTTON "OK", 1, 178, 7, 50, 14, 0x50030001
END"""

MAIN_DIALOG = """\
102 DIALOGEX 0, 0, 269, 101
STYLE 0x90c800c0
EXSTYLE 0x40000
CAPTION "Tessaloom V2.1"
FONT 8, "MS Sans Serif"
BEGIN
  DEFPUSHBUTTON "Duplicate!", 1005, 212, 80, 50, 14, 0x50010001
  PUSHBUTTON "Cancel", 2, 212, 59, 50, 14, 0x50010000
  PUSHBUTTON "...", 1001, 176, 44, 20, 14, 0x50010000
  GROUPBOX "Select your Quorvane installation folder:", -1, 7, 35, 194, 28, 0x50000007
  GROUPBOX "Select where you want the duplicated folder:", -1, 7, 66, 194, 28, 0x50000007
  PUSHBUTTON "...", 1002, 177, 75, 20, 14, 0x50010000
  EDITTEXT 1003, 14, 75, 159, 14, 0x50810880
  EDITTEXT 1004, 13, 44, 159, 14, 0x50810880
  COMBOBOX 1006, 13, 17, 183, 60, 0x50210003
  GROUPBOX "Select what to duplicate to:", -1, 7, 7, 194, 28, 0x50000007
END"""

STRINGS = {101: "&About Tessaloom...", 103: "Windows sockets initialization failed."}

# The fixed part stays 1.0.0.1; the strings carry the release version.
VERSION = """\
1 VERSIONINFO
 FILEVERSION 1, 0, 0, 1
 PRODUCTVERSION 1, 0, 0, 1
 FILEFLAGSMASK 0x3f
 FILEOS 0x4
 FILETYPE 0x1
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "Comments", "Duplicates Quorvane for testing purpose"
      VALUE "FileDescription", "Tessaloom - Duplicates Quorvane for testing purpose"
      VALUE "FileVersion", "1, 0, 0, 3"
      VALUE "InternalName", "Tessaloom"
      VALUE "OriginalFilename", "Tessaloom.EXE"
      VALUE "ProductName", "Tessaloom Application"
      VALUE "ProductVersion", "1, 0, 0, 3"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END"""

ICON_IMAGES = ["32x32 4-bit", "16x16 32-bit", "32x32 32-bit", "48x48 32-bit", "256x256 32-bit PNG"]

QUOTED = r'"((?:[^"]|"")*)"'
failures = 0

def check(ok, what, detail=""):
    global failures
    print(("ok   " if ok else "FAIL ") + what + ("" if ok or not detail else ": " + detail))
    failures += not ok

def same(what, got, expected):
    check(got == expected, what, "got " + repr(got))

def same_text(what, built, expected):
    diff = difflib.unified_diff(
        expected.splitlines(), built.splitlines(), "expected", "built", lineterm="")
    check(built == expected, what, "\n" + "\n".join(diff))

def unquote(text):
    """The bytes of a string as windres writes it: "" for a quote, C escapes, octal for others."""
    return text.replace('""', '"').encode("latin-1").decode("unicode_escape").encode("latin-1")

def data(resource):
    """The bytes of a data block: 0x...L is 32 bits, 0x... 16 bits (little-endian), "..." text."""
    out = bytearray()
    body = resource.partition("\nBEGIN\n")[2]
    for number, long, quoted in re.findall(r"0x([0-9a-f]+)(L?)|" + QUOTED, body):
        out += int(number, 16).to_bytes(4 if long else 2, "little") if number else unquote(quoted)
    return bytes(out)

def describe(image):
    """An icon image as "WxH B-bit", a PNG image (8-bit RGBA) with " PNG" after it."""
    if image.startswith(b"\x89PNG\r\n\x1a\n") and image[24:26] == b"\x08\x06":
        size = (int.from_bytes(image[at : at + 4], "big") for at in (16, 20))
        return "{}x{} 32-bit PNG".format(*size)
    if int.from_bytes(image[0:4], "little") != 40:  # BITMAPINFOHEADER, colour and mask rows
        return "not an icon image"
    width, height = (int.from_bytes(image[at : at + 4], "little") for at in (4, 8))
    return "{}x{} {}-bit".format(width, height // 2, int.from_bytes(image[14:16], "little"))

def check_icon(group, icon):
    header = re.search(r"^\s+0, (\d+), (\d+),", group, re.M)
    entries = re.findall(r"^\s+" + QUOTED + r", 1, (\d+), 0x([0-9a-f]+)L, (\d+)", group, re.M)
    counted = header is not None and header.groups() == ("1", str(len(entries)))
    check(counted, "icon group 128 is an icon group listing {} images".format(len(entries)))
    images = []
    for size, bits, length, name in entries:
        entry = "{}x{} {}-bit".format(*(n or 256 for n in unquote(size)[:2]), bits)  # 0 is 256
        image = data(icon(name))
        images.append(describe(image))
        check(images[-1].removesuffix(" PNG") == entry and len(image) == int(length, 16),
              "icon group entry {} ({} bytes) matches icon {}".format(entry, int(length, 16), name),
              "icon {} is {}, {} bytes".format(name, images[-1], len(image)))
    same("icon images: " + ", ".join(ICON_IMAGES), images, ICON_IMAGES)

def check_manifest(manifest):
    manifest = manifest.removeprefix(b"\xef\xbb\xbf")
    try:
        root = ElementTree.fromstring(manifest)
    except ElementTree.ParseError as error:
        root = ElementTree.Element(str(error))
    elements = list(root.iter())
    named = lambda name: [e for e in elements if e.tag.rpartition("}")[2] == name]
    check(
        manifest.startswith(b"<?xml ") and named("assembly") == [root],
        "manifest 1 is an XML document of one assembly",
        "it starts " + repr(manifest[:40]) + ", its root is " + root.tag,
    )
    controls = [(e.get("version"), e.get("publicKeyToken")) for e in named("assemblyIdentity")
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    same("manifest depends on Common-Controls 6.0.0.0, publicKeyToken 6595b64144ccf1df",
         controls, [("6.0.0.0", "6595b64144ccf1df")])
    awareness = [(e.text or "").split(",")[0].strip() for e in named("dpiAwareness")]
    same("manifest asks for PerMonitorV2 DPI awareness first", awareness, ["PerMonitorV2"])
    # Windows 8.1 and Windows 10 before 1607 read only dpiAware, in its own namespace:
    # "true/pm" is per-monitor there and system-aware on Windows 7 and 8.
    legacy = [(e.tag, (e.text or "").strip().lower()) for e in named("dpiAware")]
    same("manifest falls back to dpiAware true/pm", legacy,
         [("{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware", "true/pm")])
    levels = [e.get("level") for e in named("requestedExecutionLevel")]
    same("manifest requests asInvoker", levels, ["asInvoker"])
    # The program converts its UTF-8 strings itself: with no code page asked for, Windows 10
    # 1903 and later (and Wine) run it as older Windows do, in the system's code page.
    code_pages = [(e.text or "").strip() for e in named("activeCodePage")]
    same("manifest leaves the active code page to the system", code_pages, [])

def main(exe, windres="x86_64-w64-mingw32-windres"):
    decompiled = subprocess.run([windres, "-i", exe, "-O", "rc"], capture_output=True, text=True)
    if decompiled.returncode != 0:
        check(False, "windres decompiles " + exe, decompiled.stderr.strip())
        return 1
    # Each resource from its first line to its own END, by name and type.
    resources, resource = {}, r"^(?!LANGUAGE )(\w+)(?: (\w+))?\b.*?^END$"
    for match in re.finditer(resource, decompiled.stdout, re.M | re.S):
        resources.setdefault(match.group(1, 2), []).append(match.group(0))
    found = lambda name, kind: resources.get((name, kind), [""])[0]

    same_text("dialog 100 (About box)", found("100", "DIALOGEX"), ABOUT_BOX)
    same_text("dialog 102 (main dialog)", found("102", "DIALOGEX"), MAIN_DIALOG)
    tables = "\n".join(resources.get(("STRINGTABLE", None), []))
    lines = re.findall(r"^\s+(\d+), " + QUOTED + "$", tables, re.M)
    strings = {int(number): unquote(text).decode() for number, text in lines}
    same("strings 101 and 103, and no others", strings, STRINGS)
    same_text("version record", found("1", "VERSIONINFO"), VERSION)
    check_icon(found("128", "14"), lambda name: found(name, "3"))
    check_manifest(data(found("1", "24")))

    print("all resource checks passed" if failures == 0 else "{} check(s) failed".format(failures))
    return 1 if failures else 0

if __name__ == "__main__":
    if not 2 <= len(sys.argv) <= 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    sys.exit(main(*sys.argv[1:]))
