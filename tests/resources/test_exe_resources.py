"""What the built programs carry for Windows, read back from both .exe files:
the manifest, the version resource, the icons in every size, the about
box's icon control, and the ANSI functions they import."""

import pathlib
import re
import struct
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree

ROOT = pathlib.Path(__file__).resolve().parents[2]
PROGRAMS = {arch: ROOT / "build" / f"windows-{arch}" / "tarvik.exe" for arch in ("x64", "x86")}

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
IDD_ABOUTBOX, IDR_MAINFRAME, IDR_TARVIKTYPE = 100, 128, 129
ICONS = (IDR_MAINFRAME, IDR_TARVIKTYPE, 132, 134, 135)
SS_ICON, SS_REALSIZECONTROL = 0x3, 0x40
WINDOWS_7_TO_11 = {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                   "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}


# The only ANSI ("A") functions either program may import: the static C
# runtime's own. The 32-bit runtime also looks for the DWARF unwinder's DLL.
RUNTIME_ANSI_IMPORTS = {"GetStartupInfoA", "GetModuleHandleA", "CreateEventA", "CreateSemaphoreA",
                        "OutputDebugStringA", "FormatMessageA"}
RUNTIME_ANSI_IMPORTS_X86 = {"LoadLibraryA"}
ANSI_NAME = re.compile(r"^(?:__imp_+)?([A-Z]\w*[a-z0-9]A)(?:@\d+)?$")


def ansi_names(lines):
    return {match.group(1) for match in map(ANSI_NAME.match, lines) if match}


def cmake_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(Tarvik VERSION (\d+)\.(\d+)\.(\d+)", text).groups()


def resources(path):
    """{(type, id): data} of a PE file's resources, first language of each."""
    data = path.read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = [struct.unpack_from("<8xIIII", data, optional + optional_size + 40 * i)
             for i in range(sections)]

    def offset(rva):
        for _, address, raw_size, raw in table:
            if address <= rva < address + raw_size:
                return rva - address + raw
        raise AssertionError(f"RVA {rva:#x} outside every section")

    base = offset(resource_rva)

    def entries(at):
        named, numbered = struct.unpack_from("<12xHH", data, base + at)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + at + 16 + 8 * i)
            yield name, target

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names & 0x7FFFFFFF):
            _, leaf = next(entries(languages & 0x7FFFFFFF))
            rva, size = struct.unpack_from("<II", data, base + leaf)
            found[(kind, name)] = data[offset(rva):offset(rva) + size]
    return found


def align(at):
    return (at + 3) // 4 * 4


def version_node(block, at=0):
    """One node of a version resource: (key, value, is_text, children), and where it ends."""
    length, value_length, is_text = struct.unpack_from("<HHH", block, at)
    key_end = at + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    value_at = align(key_end + 2)
    value = block[value_at:value_at + value_length * (2 if is_text else 1)]
    children, child = [], align(value_at + len(value))
    while child < at + length:
        node, child_end = version_node(block, child)
        children.append(node)
        child = align(child_end)
    return (block[at + 6:key_end].decode("utf-16-le"), value, is_text, children), at + length


def version_strings(block):
    """The fixed file and product versions and the strings of a version resource."""
    (key, fixed, _, children), _ = version_node(block)
    assert key == "VS_VERSION_INFO"
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    assert signature == 0xFEEF04BD
    strings, pending = {}, list(children)
    while pending:
        key, value, is_text, children = pending.pop()
        pending += children
        if is_text and value:
            strings[key] = value.decode("utf-16-le").rstrip("\0")

    def numbers(most, least):
        return most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF

    return numbers(file_ms, file_ls), numbers(product_ms, product_ls), strings


def first_dialog_control(template):
    """Style, size, class and title of the first control of a DIALOG template."""
    style, _, count = struct.unpack_from("<IIH", template)
    at = 18

    def text_or_ordinal(at):
        if struct.unpack_from("<H", template, at)[0] == 0xFFFF:
            return struct.unpack_from("<H", template, at + 2)[0], at + 4
        end = at
        while template[end:end + 2] != b"\0\0":
            end += 2
        return template[at:end].decode("utf-16-le"), end + 2

    for _ in range(3):  # menu, class, caption
        _, at = text_or_ordinal(at)
    if style & 0x40:  # DS_SETFONT: point size, then the face name
        _, at = text_or_ordinal(at + 2)
    at = (at + 3) // 4 * 4
    assert count > 0
    control_style, _, _, _, width, height, _ = struct.unpack_from("<IIhhhhH", template, at)
    kind, at = text_or_ordinal(at + 18)
    title, _ = text_or_ordinal(at)
    return control_style, (width, height), kind, title


class ProgramResourcesTest(unittest.TestCase):
    def test_both_programs(self):
        major, minor, patch = map(int, cmake_version())
        for arch, path in PROGRAMS.items():
            with self.subTest(arch=arch):
                self.assertTrue(path.exists(), f"{path} is not built")
                found = resources(path)
                self.check_manifest(found[(RT_MANIFEST, 1)], f"{major}.{minor}.{patch}.0")
                self.check_version(found[(RT_VERSION, 1)], (major, minor, patch, 0))
                for icon in ICONS:
                    self.check_icon_group(found, icon)
                self.check_about_box(found[(RT_DIALOG, IDD_ABOUTBOX)])
                self.check_ansi_imports(arch, path)

    def check_ansi_imports(self, arch, path):
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(path)], check=True,
                              capture_output=True, text=True).stdout
        imported = ansi_names(line.split()[-1] for line in dump.splitlines()
                              if re.match(r"^\s+[0-9a-f]+\s+\d+\s+\w+$", line))
        allowed = RUNTIME_ANSI_IMPORTS | (RUNTIME_ANSI_IMPORTS_X86 if arch == "x86" else set())
        self.assertEqual(set(), imported - allowed, "ANSI imports beyond the runtime's")
        self.assertTrue(imported, "the import table was read")
        objects = [str(o) for target in ("tarvik", "tarvik_core")
                   for o in (path.parent / "CMakeFiles" / f"{target}.dir").rglob("*.obj")]
        self.assertTrue(objects)
        symbols = subprocess.run(["x86_64-w64-mingw32-nm", "-u", *objects], check=True,
                                 capture_output=True, text=True).stdout
        self.assertEqual(set(), ansi_names(line.split()[-1] for line in symbols.split("\n")
                                           if line.strip().startswith("U")),
                         "our own objects import ANSI functions")

    def check_manifest(self, manifest, version):
        root = ElementTree.fromstring(manifest)

        def every(tag):
            return [element for element in root.iter() if element.tag.endswith("}" + tag)]

        own, controls = every("assemblyIdentity")
        self.assertEqual(("Nolvar.Tarvik", version), (own.get("name"), own.get("version")))
        self.assertEqual(("Microsoft.Windows.Common-Controls", "6.0.0.0"),
                         (controls.get("name"), controls.get("version")))
        self.assertEqual(["asInvoker"], [element.get("level") for element in every("requestedExecutionLevel")])
        self.assertEqual(WINDOWS_7_TO_11, {element.get("Id") for element in every("supportedOS")})
        self.assertEqual(["true"], [element.text for element in every("dpiAware")])
        self.assertEqual(["PerMonitorV2, System"], [element.text for element in every("dpiAwareness")])

    def check_version(self, block, numbers):
        file_version, product_version, strings = version_strings(block)
        self.assertEqual(numbers, file_version)
        self.assertEqual(numbers, product_version)
        self.assertEqual("Tarvik", strings["ProductName"])
        self.assertEqual("Nolvar", strings["CompanyName"])
        self.assertTrue(strings["FileDescription"])
        self.assertEqual("tarvik.exe", strings["OriginalFilename"])
        self.assertEqual(".".join(map(str, numbers[:3])), strings["FileVersion"])
        self.assertEqual(strings["FileVersion"], strings["ProductVersion"])

    def check_icon_group(self, found, group_id):
        group = found[(RT_GROUP_ICON, group_id)]
        _, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual(1, kind)
        sizes = []
        for i in range(count):
            width, height, _, _, _, bits, _, image = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            header = struct.unpack_from("<Iii", found[(RT_ICON, image)])
            self.assertEqual((40, width, 2 * height), header, f"image {image} of icon {group_id}")
            sizes.append(width)
        self.assertEqual([16, 20, 24, 32, 48], sizes, f"icon {group_id}")

    def check_about_box(self, template):
        style, size, kind, title = first_dialog_control(template)
        self.assertIn(str(kind).upper(), (str(0x0082), "STATIC"), "a static control")
        self.assertEqual(IDR_MAINFRAME, title)
        self.assertEqual(SS_ICON, style & 0x1F)
        self.assertTrue(style & SS_REALSIZECONTROL, "keeps its template size")
        self.assertEqual((23, 21), size)


if __name__ == "__main__":
    unittest.main()
