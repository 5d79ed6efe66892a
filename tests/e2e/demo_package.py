"""The demo's sample package, Sample Notes 2.4: what its installer puts on the machine, the
installer's steps, and the manifest of its uninstall log, whose folder names the installer's
last step (tidewell-log.exe attach --register) resolves. Everything is generated, the same on
every run."""
import random
import struct

NAME = "Sample Notes"
DISPLAY_NAME = "Sample Notes 2.4"
NEIGHBOUR = "Sample Viewer 1.1"  # another package, which shares the runtime DLL
INSTALL = "C:\\Program Files\\Sample Notes"
PROGRAM = INSTALL + "\\Remove.exe"
SHARED_DIR = "C:\\Program Files\\Common Files\\Sample Shared"
SHARED_KEPT = SHARED_DIR + "\\samplert.dll"   # the neighbour uses it too: count 2
SHARED_ALONE = SHARED_DIR + "\\spellcore.dll"  # only this package uses it: count 1
FONT_FILE = "SampleNotesMono.ttf"
FONT_NAME = "Sample Notes Mono (TrueType)"
FONT_SOURCE = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"
MODULE = INSTALL + "\\bin\\notesext.dll"
CLASS_ID = "{6B1D3F52-8C1E-4D7A-9E0B-5A2C7F3E9D41}"

UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
SHARED_DLLS = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
FONTS_KEY = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
LANGUAGES = ["en", "de", "fr", "es", "it"]

MESSAGES = {
    "MSG_TITLE": "Sample Notes Uninstall",
    "MSG_CONFIRM": "This will remove Sample Notes 2.4 and all of its components from your computer.\n\n"
                   "Do you want to continue?",
    "MSG_DONE": "Sample Notes 2.4 has been removed from your computer.",
}


# A machine's package puts its menu in the all-users Programs menu.
MENU = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\" + NAME


def user_folders(user):
    """The current user's desktop and Programs menu, as Wine lays them out."""
    profile = f"C:\\users\\{user}"
    return profile + "\\Desktop", profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"


def program_tree():
    """(folder below the installation folder, file name, content): a few hundred files at several depths."""
    rng = random.Random(2024)
    text = lambda title, lines: "\r\n".join([title, ""] + [f"{title}, line {i}: " + "lorem ipsum " * rng.randint(2, 9)
                                                            for i in range(lines)]).encode()
    blob = lambda size: b"MZ" + bytes(rng.getrandbits(8) for _ in range(size))
    files = [("", "notes.exe", blob(48000)), ("", "notes.ini", b"[Notes]\r\nLanguage=en\r\n"),
             ("", "readme.txt", text("Sample Notes 2.4", 40)), ("", "license.txt", text("License", 60)),
             ("", "changes.txt", text("Changes", 30))]
    files += [("bin", f"notes-{part}.dll", blob(9000)) for part in ("core", "ui", "sync", "print", "search")]
    for plugin in ("spell", "export", "sync", "print"):
        folder = f"bin\\plugins\\{plugin}"
        files += [(folder, f"{plugin}.dll", blob(6000)), (folder, f"{plugin}.ini", text(plugin, 5))]
        files += [(folder, f"{plugin}-{n}.dat", blob(700)) for n in range(3)]
    for language in LANGUAGES:
        files += [(f"help\\{language}", "index.html", text(f"Help ({language})", 20)),
                  (f"help\\{language}", "style.css", b"body { font-family: 'Sample Notes Mono'; }\r\n")]
        files += [(f"help\\{language}\\topics", f"topic-{n:02}.html", text(f"Topic {n}", 12)) for n in range(24)]
        files += [(f"help\\{language}\\images", f"figure-{n:02}.png", b"\x89PNG\r\n\x1a\n" + blob(900)) for n in range(8)]
        files.append((f"locale\\{language}\\LC_MESSAGES", "notes.mo", blob(2000)))
        files.append(("data\\dictionaries", f"{language}.dic", text(f"Dictionary {language}", 80)))
    for kind in ("letters", "reports", "lists"):
        files += [(f"templates\\{kind}", f"{kind}-{n:02}.snt", text(f"Template {kind} {n}", 8)) for n in range(10)]
    for book in ("travel", "recipes", "work"):
        files += [(f"samples\\notebooks\\{book}\\pages", f"page-{n:02}.snote", text(f"{book} {n}", 10)) for n in range(8)]
    files.append(("samples", "README.txt", text("Samples", 6)))
    for size in (16, 32, 48):
        files += [(f"icons\\{size}", f"icon-{n:02}.png", b"\x89PNG\r\n\x1a\n" + blob(300)) for n in range(12)]
    return files


# Files the package's use left behind, which no record names: the patterns sweep them.
LEFTOVERS = ["notes.log", "crash-2024-03-01.log", "data\\session.tmp", "cache\\thumb-01.tmp", "cache\\thumb-02.tmp",
             "cache\\thumb-03.tmp", "help\\en\\images\\Thumbs.db"]
PATTERNS = [".tmp", ".log", "Thumbs.db"]


def shortcut(target, description):
    """A shell link to the target, by a relative path: header, name and path, no ID list."""
    header = struct.pack("<I16sIIQQQIiIHHII", 0x4C, bytes.fromhex("0114020000000000c000000000000046"),
                         0x04 | 0x08 | 0x80, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0)
    strings = b"".join(struct.pack("<H", len(s)) + s.encode("utf-16-le") for s in (description, target))
    return header + strings + b"\0\0\0\0"


MENU_SHORTCUTS = [("Sample Notes.lnk", shortcut(INSTALL + "\\notes.exe", "Sample Notes")),
                  ("Sample Notes Help.lnk", shortcut(INSTALL + "\\help\\en\\index.html", "Help")),
                  ("Uninstall Sample Notes.lnk", shortcut(PROGRAM, "Uninstall Sample Notes"))]
DESKTOP_SHORTCUT = ("Sample Notes.lnk", shortcut(INSTALL + "\\notes.exe", "Sample Notes"))


def neighbour_setup():
    """Another package, installed earlier, that uses the shared runtime too: its entry and its
    count, as a .reg file's text."""
    quote = lambda path: path.replace("\\", "\\\\")
    return f"""Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\{UNINSTALL}\\Sample Viewer]
"DisplayName"="{NEIGHBOUR}"
"Publisher"="Tidewell Samples"
"UninstallString"="C:\\\\Program Files\\\\Sample Viewer\\\\Remove.exe"

[HKEY_LOCAL_MACHINE\\{SHARED_DLLS}]
"{quote(SHARED_KEPT)}"=dword:00000001
"""


def registry_setup(user):
    """What the installer enters in the registry (the shared counts counted up), as a .reg file's
    text. Its entry in the list of installed programs is tidewell-log's to write."""
    quote = lambda path: path.replace("\\", "\\\\")
    return f"""Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\{NAME}]
"InstallDir"="{quote(INSTALL)}"
"Version"="2.4"

[HKEY_LOCAL_MACHINE\\Software\\{NAME}\\Plugins]
"spell"="{quote(INSTALL)}\\\\bin\\\\plugins\\\\spell\\\\spell.dll"
"export"="{quote(INSTALL)}\\\\bin\\\\plugins\\\\export\\\\export.dll"

[HKEY_CURRENT_USER\\Software\\{NAME}\\Settings]
"Font"="Sample Notes Mono"
"Language"="en"

[HKEY_CURRENT_USER\\Software\\{NAME}\\Recent]
"1"="C:\\\\users\\\\{user}\\\\Documents\\\\groceries.snote"

[HKEY_LOCAL_MACHINE\\{SHARED_DLLS}]
"{quote(SHARED_KEPT)}"=dword:00000002
"{quote(SHARED_ALONE)}"=dword:00000001

[HKEY_LOCAL_MACHINE\\{FONTS_KEY}]
"{FONT_NAME}"="{FONT_FILE}"
"""


SETUP = "C:\\setup"
PAYLOAD = SETUP + "\\payload"


def payload(tree, module, font, user):
    """The installer's medium: {name below the payload folder: content}."""
    files = {f"program\\{folder}\\{name}".replace("\\\\", "\\"): content for folder, name, content in tree}
    files["sample-notes.reg"] = ("\ufeff" + registry_setup(user).replace("\n", "\r\n")).encode("utf-16-le")
    files["notesext.dll"] = module
    files["samplert.dll"] = files["spellcore.dll"] = b"MZ shared runtime"
    files[FONT_FILE] = font
    for name, content in MENU_SHORTCUTS:
        files[f"menu\\{name}"] = content
    files[f"desktop\\{DESKTOP_SHORTCUT[0]}"] = DESKTOP_SHORTCUT[1]
    return files


def installer_steps():
    """The installer's batch, but for its last step: files, shortcuts, registry, registration."""
    return [
        f'set TARGET=%ProgramFiles%\\{NAME}',
        f'xcopy /e /i /y /q "{PAYLOAD}\\program" "%TARGET%" >nul',
        f'copy /y "{PAYLOAD}\\notesext.dll" "%TARGET%\\bin" >nul',
        f'mkdir "%CommonProgramFiles%\\Sample Shared" "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\{NAME}"',
        f'copy /y "{PAYLOAD}\\samplert.dll" "%CommonProgramFiles%\\Sample Shared" >nul',
        f'copy /y "{PAYLOAD}\\spellcore.dll" "%CommonProgramFiles%\\Sample Shared" >nul',
        f'copy /y "{PAYLOAD}\\{FONT_FILE}" "%WINDIR%\\Fonts" >nul',
        f'copy /y "{PAYLOAD}\\menu\\*.lnk" "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\{NAME}" >nul',
        f'copy /y "{PAYLOAD}\\desktop\\*.lnk" "%USERPROFILE%\\Desktop" >nul',
        f'reg import "{PAYLOAD}\\sample-notes.reg" >nul 2>&1',
        'regsvr32 /s "%TARGET%\\bin\\notesext.dll"',
    ]


def manifest(tree):
    """The uninstall log's manifest: every installed file, the shortcuts, the registry entries, by
    the folder names the installer's machine resolves; and the entry in the list of installed
    programs."""
    files = [{"folder": "{InstallDir}\\" + folder if folder else "{InstallDir}", "name": name} for folder, name, _ in tree]
    files.append({"folder": "{InstallDir}\\bin", "name": "notesext.dll", "flags": ["selfreg"]})
    files += [{"folder": "{CommonFiles}\\Sample Shared", "name": path.rsplit("\\", 1)[1], "flags": ["shared"]}
              for path in (SHARED_KEPT, SHARED_ALONE)]
    files.append({"folder": "{Fonts}", "name": FONT_FILE, "flags": ["font"]})
    # The desktop is no package's folder: its shortcut is a file record, so only the file goes.
    files.append({"folder": "{Desktop}", "name": DESKTOP_SHORTCUT[0]})
    return {
        "product": {"name": DISPLAY_NAME, "version": "2.4", "publisher": "Tidewell Samples",
                    "help": "https://example.org/sample-notes", "key": NAME},
        "messages": MESSAGES,
        "files": files,
        "folders": [{"folder": "{AllUsersPrograms}\\" + NAME, "name": name} for name, _ in MENU_SHORTCUTS],
        "registry": [{"root": "HKLM", "path": f"Software\\{NAME}"},
                     {"root": "HKCU", "path": f"Software\\{NAME}"},
                     {"root": "HKLM", "path": f"{FONTS_KEY}\\\\{FONT_NAME}"}],
        "patterns": PATTERNS,
    }
