"""The shipped program's size and the DLLs it imports, read from its PE headers."""
import struct

SIZE_GOAL = 44 * 1024
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
               "oleaut32.dll", "comctl32.dll", "comdlg32.dll", "version.dll", "shlwapi.dll"}


def imports(image):
    """The names of the DLLs in the image's import table."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections, optional_size = struct.unpack_from("<H", image, pe + 6)[0], struct.unpack_from("<H", image, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    import_rva = struct.unpack_from("<I", image, directories + 8)[0]
    table = []
    for i in range(sections):
        at = optional + optional_size + 40 * i
        virtual_size, virtual_address, raw_size, raw_pointer = struct.unpack_from("<IIII", image, at + 8)
        table.append((virtual_address, max(virtual_size, raw_size), raw_pointer))

    def offset(rva):
        for address, size, pointer in table:
            if address <= rva < address + size:
                return pointer + rva - address
        raise ValueError(f"RVA {rva:#x} lies in no section")

    names = []
    at = offset(import_rva)
    while True:
        descriptor = struct.unpack_from("<IIIII", image, at)
        if not any(descriptor):
            return names
        name_at = offset(descriptor[3])
        names.append(image[name_at:image.index(b"\0", name_at)].decode("ascii"))
        at += 20


def figures(win32_program):
    image = win32_program.read_bytes()
    dlls = imports(image)
    foreign = [d for d in dlls if d.lower() not in SYSTEM_DLLS]
    return [{
        "name": "size.program_32bit",
        "what": "build/win32/uninstall.exe, bytes",
        "unit": "bytes", "value": len(image), "baseline": SIZE_GOAL, "baseline_what": "the 44 KB limit",
        "ratio": len(image) / SIZE_GOAL, "goal": "<= 44 KB, system DLLs only",
        "met": len(image) <= SIZE_GOAL and not foreign,
        "imports": dlls, "non_system_imports": foreign,
    }]
