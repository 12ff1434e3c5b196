"""Checks what Explorer and Windows read from each shipped Windows binary: the version
resource (numbers, file type, names, description, copyright and licence) and, in a
program, the application manifest (run as the invoker, the supported versions of
Windows, the UTF-8 code page). A DLL has no manifest of its own: it runs under its
host's.

  python3 resources-test.py <version x.y.z> <LICENSE> <file.exe|file.dll> <description> ...

The copyright is the licence's copyright line and the licence's name, its first line.
"""

import os
import sys
import xml.etree.ElementTree as ElementTree

import pefile

SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}

VFT_APP = 1
VFT_DLL = 2

problems = []
current = ""  # the binary being checked, named in each problem


def expect(what, found, wanted):
    if found != wanted:
        problems.append(f"{current}: {what}: {found!r} instead of {wanted!r}")


def version_strings(executable):
    strings = {}
    for info in getattr(executable, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({key.decode(): value.decode() for key, value in table.entries.items()})
    return strings


def manifest_text(executable):
    if not hasattr(executable, "DIRECTORY_ENTRY_RESOURCE"):
        return None
    for kind in executable.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            continue
        for name in kind.directory.entries:
            if name.id != 1:  # the one Windows reads when it starts a program
                continue
            data = name.directory.entries[0].data.struct
            return executable.get_data(data.OffsetToData, data.Size).decode("utf-8")
    return None


def check(path, description, version, licence_file):
    with open(licence_file, encoding="utf-8") as stream:
        lines = stream.read().splitlines()
    licence = lines[0]
    copyright_line = next(line for line in lines if line.startswith("Copyright "))
    name = os.path.basename(path)
    program = name.endswith(".exe")
    executable = pefile.PE(path)
    numbers = [int(part) for part in version.split(".")] + [0]
    if not hasattr(executable, "VS_FIXEDFILEINFO"):
        problems.append(f"{current}: no version resource")
    else:
        fixed = executable.VS_FIXEDFILEINFO[0]
        wanted = (numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3])
        expect("fixed file version", (fixed.FileVersionMS, fixed.FileVersionLS), wanted)
        expect("fixed product version", (fixed.ProductVersionMS, fixed.ProductVersionLS), wanted)
        expect("file type", fixed.FileType, VFT_APP if program else VFT_DLL)
    strings = version_strings(executable)
    expect("FileVersion", strings.get("FileVersion"), version)
    expect("ProductVersion", strings.get("ProductVersion"), version)
    expect("FileDescription", strings.get("FileDescription"), description)
    expect("ProductName", strings.get("ProductName"), "vexa-gpio")
    expect("OriginalFilename", strings.get("OriginalFilename"), name)
    expect("InternalName", strings.get("InternalName"), os.path.splitext(name)[0])
    expect("LegalCopyright", strings.get("LegalCopyright"), f"{copyright_line}; {licence}")

    text = manifest_text(executable)
    if not program:
        if text is not None:
            problems.append(f"{current}: a manifest Windows never reads in a DLL")
        return
    if text is None:
        problems.append(f"{current}: no application manifest (RT_MANIFEST 1)")
        return
    root = ElementTree.fromstring(text)
    levels = [element.get("level") for element in root.iter("{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")]
    expect("requested execution level", levels, ["asInvoker"])
    systems = {element.get("Id") for element in root.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")}
    expect("supported OS entries", sorted(systems), sorted(SUPPORTED_OS))
    pages = [element.text for element in root.iter("{http://schemas.microsoft.com/SMI/2019/WindowsSettings}activeCodePage")]
    expect("active code page", pages, ["UTF-8"])


version_number, licence_path, *binaries = sys.argv[1:]
if not binaries or len(binaries) % 2:
    sys.exit(__doc__)
for index in range(0, len(binaries), 2):
    current = binaries[index]
    check(current, binaries[index + 1], version_number, licence_path)
for problem in problems:
    print(problem, file=sys.stderr)
sys.exit(1 if problems else 0)
