"""The installed-file phase of the real program under Wine: shared-use counts in Wine's own
registry, a real TrueType font, self-registering modules built for the tests, refused deletions,
and the four-button question as a person answers it.

Some checks look inside the program's process: Wine's relay trace (WINEDEBUG=+relay, limited to
the calls named in RelayInclude) lists the calls the program made, with their arguments, in
order; and tw-auto's font probe reads the fonts of the dialog's controls there."""
import re
import subprocess
import unittest

from harness import TOOLS_DIR_WIN, WIN64_DIR, WINE, PrefixTestCase, box_text

PROGRAM = "C:\\Program Files\\Sample\\Remove.exe"
FOLDER = "C:\\Program Files\\Sample"
COMMON = "C:\\Program Files\\Common Files\\Sample"
SHARED_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
FONT_SOURCE = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
MESSAGES = {
    "MSG_TITLE": "Sample Uninstall",
    "MSG_CONFIRM": "Remove Sample and all of its components?",
    "MSG_DONE": "Sample has been removed.",
    "MSG_YES": "&Yes",
    "MSG_YES_ALL": "Yes to &all",
    "MSG_NO": "&No",
    "MSG_NO_ALL": "No to a&ll",
    "MSG_READONLY": "The file\n%s\nis read-only or in use. Remove it anyway?",
    "MSG_SHARED_UNUSED": "The shared file\n%s\nis no longer used by any program. Remove it?",
    "MSG_CLOSE_APPS": "These programs of Sample are still running:\n\n%s\n\nClose them now?",
    "MSG_RESTART": "Restart Windows now to finish removing Sample?",
}
OK = "press:1"
YES, NO, YES_ALL, NO_ALL = "press:6", "press:7", "press:1001", "press:1002"
IDYES, IDNO, IDCANCEL, IDC_YESALL, IDC_NOALL = 6, 7, 2, 1001, 1002
# The font-change broadcast as Wine's relay trace shows its arguments: HWND_BROADCAST,
# WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000 ms, no result wanted.
FONT_BROADCAST = "0000ffff,0000001d,00000000,00000000,00000002,000003e8,00000000"


def low_halves(arguments):
    """Traced arguments cut to 32 bits each: Wine's relay trace prints a 64-bit program's stack
    arguments whole, and a 32-bit argument there may have anything in its upper half."""
    return ",".join(f"{int(argument, 16) & 0xFFFFFFFF:08x}" for argument in arguments.split(","))


def readonly_prompt(path):
    return MESSAGES["MSG_READONLY"].replace("%s", path)


def shared_prompt(path):
    return MESSAGES["MSG_SHARED_UNUSED"].replace("%s", path)


def reg_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


class InstalledFilesCase(PrefixTestCase):
    """A package at PROGRAM whose log lists the given files; helpers for the registry and traces."""

    def assertQuestionDialog(self, first, second, prompt):
        """Two showings of the question dialog, as the automation helper read them: the template's
        controls in their order with the catalogue's labels, the focus on Yes, one row of buttons
        under the prompt, and a normal-weight copy of the dialog's font, made once for the run, on
        every control."""
        self.assertEqual([(c["id"], c["class"].upper(), c["text"], c["style"]) for c in first["controls"]], [
            (IDYES, "BUTTON", "&Yes", 0x50010001),
            (IDC_YESALL, "BUTTON", "Yes to &all", 0x50010000),
            (1000, "STATIC", prompt, 0x50020000),
            (IDNO, "BUTTON", "&No", 0x50010000),
            (IDC_NOALL, "BUTTON", "No to a&ll", 0x50010000),
        ])
        self.assertEqual(first["focus_id"], IDYES)
        self.assertTrue(all(c["visible"] for c in first["controls"]))
        buttons = [c["rect"] for c in first["controls"] if c["class"].upper() == "BUTTON"]
        self.assertEqual(len({rect[1] for rect in buttons}), 1)
        self.assertEqual([rect[0] for rect in buttons], sorted(rect[0] for rect in buttons))
        self.assertGreater(buttons[0][1], first["controls"][2]["rect"][3])

        fonts = [c["font"] for c in first["controls"] + second["controls"]]
        self.assertTrue(all(font and font.get("weight") == 400 for font in fonts), fonts)
        self.assertEqual(len({font["handle"] for font in fonts}), 1, fonts)
        self.assertNotEqual(first["font"]["handle"], fonts[0]["handle"])
        self.assertEqual((fonts[0]["face"], fonts[0]["height"]), (first["font"]["face"], first["font"]["height"]))

    def install(self, files):
        self.prefix.install_program(PROGRAM, manifest={"messages": MESSAGES, "files": files})

    def put(self, path, content=b"installed", read_only=False):
        self.prefix.write(path, content, read_only=read_only)

    def exists(self, path):
        return self.prefix.unix(path).exists()

    def read_only(self, path):
        return not self.prefix.unix(path).stat().st_mode & 0o200

    def import_registry(self, sections):
        """Writes keys and values with regedit: {key: {name: int (REG_DWORD) or str (REG_SZ)}}."""
        lines = ["REGEDIT4", ""]
        for key, values in sections.items():
            lines.append(f"[{key}]")
            for name, value in values.items():
                data = f"dword:{value:08x}" if isinstance(value, int) else reg_text(value)
                lines.append(f"{reg_text(name)}={data}")
            lines.append("")
        self.prefix.write(f"{TOOLS_DIR_WIN}\\setup.reg", "\r\n".join(lines) + "\r\n")
        subprocess.run([WINE, "regedit", "/S", f"{TOOLS_DIR_WIN}\\setup.reg"], env=self.prefix.env, cwd=self.prefix.root,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def set_counts(self, counts):
        self.import_registry({f"HKEY_LOCAL_MACHINE\\{SHARED_KEY}": counts})

    def saved_key(self, key):
        """The values of a key of HKEY_LOCAL_MACHINE as Wine saved them once every process of the
        prefix has ended: {name: data as written in system.reg}, or None when the key is missing."""
        self.prefix.finish()
        header = "[" + key.replace("\\", "\\\\") + "]"
        values = None
        inside = False
        for line in (self.prefix.path / "system.reg").read_text(encoding="utf-8", errors="replace").splitlines():
            if line.startswith("["):
                inside = line.rsplit(" ", 1)[0].lower() == header.lower()
                if inside:
                    values = {}
            elif inside:
                match = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
                if match:
                    values[re.sub(r"\\(.)", r"\1", match.group(1))] = match.group(2)
        return values

    def trace(self, functions):
        """Has Wine log the program's calls of these functions ("dll.Function") from now on, and
        of DeleteFileA, whose calls with the package's paths tell where the program's image lies."""
        functions = list(functions) + ([] if "kernel32.DeleteFileA" in functions else ["kernel32.DeleteFileA"])
        self.import_registry({"HKEY_CURRENT_USER\\Software\\Wine\\Debug": {"RelayInclude": ";".join(functions)}})
        self.prefix.env["WINEDEBUG"] = "+relay"

    def traced(self):
        """The traced calls that the program itself made in the runs so far: (function, arguments)
        in order. Calls that system modules made on its behalf are left out: the program's own
        are those made from its image, the same 128 KB as its calls with its own paths, on its one
        thread: the self-deletion's command interpreter writes to the same log, from an image at
        the same address."""
        traced = []
        for log in sorted((self.prefix.root / "logs").glob("program-*.log")):
            calls = []
            for line in log.read_text(errors="replace").splitlines():
                match = re.match(r"^([0-9a-f]+):Call ([A-Za-z0-9_]+\.[A-Za-z0-9_]+)\((.*)\) ret=([0-9a-f]+)$", line)
                if match:
                    calls.append((match.group(1), match.group(2).split(".")[1], match.group(3), int(match.group(4), 16)))
            own = [(thread, ret) for thread, name, args, ret in calls if "Program Files" in args]
            if not own:
                continue
            # The program's calls come first; the batch job starts only once it ends.
            thread = own[0][0]
            image = min(ret for t, ret in own if t == thread) & ~0xFFFF
            traced += [(name, args) for t, name, args, ret in calls if t == thread and image <= ret < image + 0x20000]
        return traced

    def dialog_results(self):
        """The result each read-only question ended with, as the program's dialog procedure gave it."""
        return [int(args.split(",")[1], 16) for name, args in self.traced() if name == "EndDialog"]

    def run_program(self, answers, silent=False, shots=None):
        """Runs the program as the user would: confirmation, the given answers, completion."""
        if silent:
            result = self.prefix.run(PROGRAM, arguments=["/X"], actions=answers, shots=shots)
        else:
            result = self.prefix.run(PROGRAM, actions=[OK, *answers, OK], shots=shots)
        self.assertCleanRun(result)
        return result

    def questions(self, result):
        """The boxes between the confirmation and the completion message."""
        boxes = result.boxes[1:-1]
        self.assertEqual([b["action"] for b in result.boxes[:1] + result.boxes[-1:]], [OK, OK])
        return boxes


class SharedCountTest(InstalledFilesCase):
    def test_counts_are_counted_down_and_the_user_decides_when_they_run_out(self):
        names = ["three.dll", "one-yes.dll", "one-no.dll", "zero.dll", "unlisted-yes.dll", "unlisted-no.dll"]
        self.install([{"folder": COMMON, "name": name, "flags": ["shared"]} for name in names])
        for name in names:
            self.put(f"{COMMON}\\{name}")
        self.set_counts({f"{COMMON}\\three.dll": 3, f"{COMMON}\\one-yes.dll": 1, f"{COMMON}\\one-no.dll": 1,
                         f"{COMMON}\\zero.dll": 0, "C:\\Windows\\system32\\other.dll": 2})
        result = self.run_program([YES, NO, YES, YES, NO])

        asked = self.questions(result)
        self.assertEqual([box_text(box) for box in asked],
                         [shared_prompt(f"{COMMON}\\{name}") for name in names[1:]])
        for box in asked:
            self.assertEqual(box["caption"], MESSAGES["MSG_TITLE"])
            self.assertEqual(box["owner_class"], "TidewellClass")
            self.assertEqual([c["text"] for c in box["controls"] if c["class"] == "Button"], ["&Yes", "&No"])

        counts = self.saved_key(SHARED_KEY)
        self.assertEqual(counts, {
            f"{COMMON}\\three.dll": "dword:00000002",
            f"{COMMON}\\one-no.dll": "dword:00000000",
            "C:\\Windows\\system32\\other.dll": "dword:00000002",
        })
        for name, stays in zip(names, [True, False, True, False, False, True]):
            self.assertEqual(self.exists(f"{COMMON}\\{name}"), stays, name)

    def test_without_the_shared_key_the_user_decides_and_the_registry_stays_as_it_was(self):
        self.install([{"folder": COMMON, "name": "a.dll", "flags": ["shared"]},
                      {"folder": COMMON, "name": "b.dll", "flags": ["shared"]}])
        self.put(f"{COMMON}\\a.dll")
        self.put(f"{COMMON}\\b.dll")
        result = self.run_program([YES, NO])
        self.assertEqual([box_text(box) for box in self.questions(result)],
                         [shared_prompt(f"{COMMON}\\a.dll"), shared_prompt(f"{COMMON}\\b.dll")])
        self.assertIsNone(self.saved_key(SHARED_KEY))
        self.assertFalse(self.exists(f"{COMMON}\\a.dll"))
        self.assertTrue(self.exists(f"{COMMON}\\b.dll"))


class FontTest(InstalledFilesCase):
    def test_a_font_is_taken_out_of_use_announced_and_deleted(self):
        fonts = ["C:\\windows\\Fonts\\DejaVuSans.ttf", f"{FOLDER}\\fonts\\DejaVuSans.ttf"]
        self.install([{"folder": "C:\\windows\\Fonts", "name": "DejaVuSans.ttf", "flags": ["font"]},
                      {"folder": ".\\fonts", "name": "DejaVuSans.ttf", "flags": ["font"]}])
        with open(FONT_SOURCE, "rb") as font:
            data = font.read()
        for path in fonts:
            self.put(path, data)
        self.trace(["gdi32.RemoveFontResourceA", "user32.SendMessageTimeoutA", "kernel32.DeleteFileA"])
        result = self.run_program([])

        # The broadcast passes over hung windows (SMTO_ABORTIFHUNG) and waits a second at most
        # for each other one.
        expected = []
        for path in fonts:
            quoted = '"' + path.replace("\\", "\\\\") + '"'
            expected += [("RemoveFontResourceA", quoted), ("SendMessageTimeoutA", FONT_BROADCAST), ("DeleteFileA", quoted)]
        self.assertEqual([(name, args.split(" ", 1)[-1] if name != "SendMessageTimeoutA" else low_halves(args))
                          for name, args in self.traced()], expected)
        # The broadcast reached the top-level window of another program (the helper's).
        self.assertEqual(result.seen["font_changes"], 2)
        for path in fonts:
            self.assertFalse(self.exists(path), path)

    def test_a_window_that_does_not_answer_cannot_hold_the_run(self):
        font = f"{FOLDER}\\fonts\\DejaVuSans.ttf"
        self.install([{"folder": ".\\fonts", "name": "DejaVuSans.ttf", "flags": ["font"]}])
        with open(FONT_SOURCE, "rb") as source:
            self.put(font, source.read())
        release = self.prefix.hang_window()
        self.addCleanup(release)
        # A silent run: no box, so that nothing but the broadcast can keep it waiting.
        result = self.prefix.run(PROGRAM, arguments=["/X"], timeout=30)
        self.assertIsNotNone(result.code, f"the run was still waiting after {result.seconds:.0f} s and was ended")
        self.assertCleanRun(result)
        self.assertLess(result.seconds, 15, "the run took too long")
        self.assertTrue(release(), "the window that does not answer stopped waiting before the run ended")
        # The windows that answer heard of the change all the same.
        self.assertEqual(result.seen["font_changes"], 1)
        self.assertFalse(self.exists(font))


class SelfRegistrationTest(InstalledFilesCase):
    def setUp(self):
        super().setUp()
        self.module = (WIN64_DIR / "selfreg.dll").read_bytes()
        self.no_entry = (WIN64_DIR / "noexport.dll").read_bytes()

    def marks(self, path):
        folder = self.prefix.unix(path).parent
        name = self.prefix.unix(path).name
        return sorted(p.name[len(name):] for p in folder.glob(name + ".*"))

    def test_modules_are_unregistered_released_and_deleted(self):
        self.install([{"folder": ".\\bin", "name": "selfreg.dll", "flags": ["selfreg"]},
                      {"folder": ".\\bin", "name": "noexport.dll", "flags": ["selfreg"]},
                      {"folder": ".\\bin", "name": "readme.txt", "flags": ["selfreg"]}])
        self.put(f"{FOLDER}\\bin\\selfreg.dll", self.module)
        self.put(f"{FOLDER}\\bin\\noexport.dll", self.no_entry)
        self.put(f"{FOLDER}\\bin\\readme.txt", b"not a module")
        self.run_program([])
        self.prefix.finish()
        self.assertEqual(self.marks(f"{FOLDER}\\bin\\selfreg.dll"), [".freed", ".loaded", ".unregistered"])
        self.assertEqual(self.marks(f"{FOLDER}\\bin\\noexport.dll"), [".freed", ".loaded"])
        for name in ("selfreg.dll", "noexport.dll", "readme.txt"):
            self.assertFalse(self.exists(f"{FOLDER}\\bin\\{name}"), name)

    def test_a_record_with_every_flag_goes_through_every_step_in_order(self):
        path = f"{COMMON}\\selfreg.dll"
        self.install([{"folder": COMMON, "name": "selfreg.dll", "flags": ["shared", "font", "selfreg"]}])
        self.put(path, self.module)
        self.set_counts({path: 1})
        self.trace(["advapi32.RegSetValueExA", "user32.MessageBoxA", "advapi32.RegDeleteValueA", "gdi32.RemoveFontResourceA",
                    "user32.SendMessageTimeoutA", "kernel32.LoadLibraryExA", "kernel32.GetProcAddress", "kernel32.FreeLibrary",
                    "kernel32.DeleteFileA"])
        result = self.run_program([YES])
        self.assertEqual([box_text(box) for box in self.questions(result)], [shared_prompt(path)])
        # The confirmation and completion boxes left aside, and the look-ups of the system's own
        # newer calls.
        calls = [name for name, args in self.traced() if (name != "MessageBoxA" or "shared file" in args) and
                 (name != "GetProcAddress" or "DllUnregisterServer" in args)]
        self.assertEqual(calls, ["RegSetValueExA", "MessageBoxA", "RegDeleteValueA", "RemoveFontResourceA", "SendMessageTimeoutA",
                                 "LoadLibraryExA", "GetProcAddress", "FreeLibrary", "DeleteFileA"])
        self.assertEqual(result.seen["font_changes"], 1)
        self.assertEqual(self.saved_key(SHARED_KEY), {})
        self.assertEqual(self.marks(path), [".freed", ".loaded", ".unregistered"])
        self.assertFalse(self.exists(path))

    def test_a_module_still_in_use_elsewhere_stays_registered(self):
        path = f"{COMMON}\\selfreg.dll"
        self.install([{"folder": COMMON, "name": "selfreg.dll", "flags": ["shared", "font", "selfreg"]}])
        self.put(path, self.module)
        self.set_counts({path: 3})
        result = self.run_program([])
        self.assertEqual(result.seen["font_changes"], 0)
        self.assertEqual(self.saved_key(SHARED_KEY), {path: "dword:00000002"})
        self.assertEqual(self.marks(path), [])
        self.assertTrue(self.exists(path))


class RefusedDeletionCase(InstalledFilesCase):
    """Files in the package's data folder, read-only unless said otherwise; the answers each
    question ended with are traced."""

    def setUp(self):
        super().setUp()
        self.trace(["user32.EndDialog"])

    def data(self, name):
        return f"{FOLDER}\\data\\{name}"

    def install_data(self, names, read_only=True):
        self.install([{"folder": ".\\data", "name": name} for name in names])
        for name in names:
            self.put(self.data(name), read_only=read_only)

    def prompts(self, result):
        return [box_text(box) for box in self.questions(result)]

    def hold(self, path):
        """Another program holds the file open, sharing reading and writing but not deletion,
        until the test ends."""
        self.addCleanup(self.prefix.hold(path))


class RefusedDeletionTest(RefusedDeletionCase):
    def test_yes_clears_the_read_only_attribute_and_deletes(self):
        self.install_data(["a.txt"])
        result = self.run_program([YES])
        self.assertEqual(self.prompts(result), [readonly_prompt(self.data("a.txt"))])
        self.assertEqual(self.dialog_results(), [IDYES])
        self.assertFalse(self.exists(self.data("a.txt")))

    def test_yes_to_all_deletes_this_and_every_later_refused_file_without_asking(self):
        self.install_data(["a.txt", "b.txt", "c.txt"])
        result = self.run_program([YES_ALL])
        self.assertEqual(self.prompts(result), [readonly_prompt(self.data("a.txt"))])
        self.assertEqual(self.dialog_results(), [IDC_YESALL])
        for name in ("a.txt", "b.txt", "c.txt"):
            self.assertFalse(self.exists(self.data(name)), name)

    def test_no_keeps_one_file_and_the_next_is_asked_about(self):
        self.install_data(["a.txt", "b.txt"])
        result = self.run_program([NO, NO])
        self.assertEqual(self.prompts(result), [readonly_prompt(self.data("a.txt")), readonly_prompt(self.data("b.txt"))])
        self.assertEqual(self.dialog_results(), [IDNO, IDNO])
        for name in ("a.txt", "b.txt"):
            self.assertTrue(self.exists(self.data(name)), name)
            self.assertTrue(self.read_only(self.data(name)), name)

    def test_no_to_all_keeps_this_and_every_later_refused_file_without_asking(self):
        self.install_data(["a.txt", "b.txt", "c.txt"])
        result = self.run_program([NO_ALL])
        self.assertEqual(len(self.prompts(result)), 1)
        self.assertEqual(self.dialog_results(), [IDC_NOALL])
        for name in ("a.txt", "b.txt", "c.txt"):
            self.assertTrue(self.exists(self.data(name)), name)

    def test_esc_and_the_close_box_keep_one_file_each(self):
        self.install_data(["a.txt", "b.txt", "c.txt"])
        result = self.run_program(["key:ESC", "close", YES])
        self.assertEqual(len(self.prompts(result)), 3)
        self.assertEqual(self.dialog_results(), [IDCANCEL, IDCANCEL, IDYES])
        self.assertTrue(self.exists(self.data("a.txt")))
        self.assertTrue(self.exists(self.data("b.txt")))
        self.assertFalse(self.exists(self.data("c.txt")))

    def run_with_restart_question(self, answers):
        """A run whose held file waits for the restart: confirmation, the answers, completion, and
        the restart question answered No."""
        result = self.prefix.run(PROGRAM, actions=[OK, *answers, OK, NO])
        self.assertCleanRun(result)
        self.assertEqual(box_text(result.boxes[-1]), MESSAGES["MSG_RESTART"])
        return [box_text(box) for box in result.boxes[1:-2]]

    def test_yes_on_a_held_file_sends_it_to_the_restart_without_asking_again(self):
        self.install_data(["held.txt"], read_only=False)
        self.install([{"folder": ".\\data", "name": "held.txt"}, {"folder": ".\\data", "name": "b.txt"}])
        self.put(self.data("b.txt"), read_only=True)
        self.hold(self.data("held.txt"))
        prompts = self.run_with_restart_question([YES, NO])
        self.assertEqual(prompts, [readonly_prompt(self.data("held.txt")), readonly_prompt(self.data("b.txt"))])
        self.assertEqual(self.dialog_results(), [IDYES, IDNO])
        self.assertTrue(self.exists(self.data("held.txt")))
        self.assertTrue(self.exists(self.data("b.txt")))

    def test_yes_to_all_sends_a_held_file_to_the_restart_and_goes_on(self):
        self.install_data(["held.txt", "b.txt"])
        self.prefix.unix(self.data("held.txt")).chmod(0o644)
        release = self.prefix.hold(self.data("held.txt"))
        self.addCleanup(release)
        prompts = self.run_with_restart_question([YES_ALL])
        self.assertEqual(prompts, [readonly_prompt(self.data("held.txt"))])
        self.assertTrue(self.exists(self.data("held.txt")))
        self.assertFalse(self.exists(self.data("b.txt")))
        release()
        self.assertTrue(self.prefix.restart())
        self.assertFalse(self.exists(self.data("held.txt")))
        self.assertFalse(self.exists(FOLDER))


class QuestionDialogTest(RefusedDeletionCase):
    def test_the_question_as_it_is_shown(self):
        self.install_data(["report.txt", "notes.txt"])
        # Xvfb runs no window manager: Wine is to draw the frames and captions itself, so that
        # the screenshot shows them.
        self.import_registry({"HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver": {"Decorated": "N"}})
        result = self.run_program(["key:ENTER", "key:ENTER"], shots=f"{TOOLS_DIR_WIN}\\shots")
        first, second = self.questions(result)

        self.assertEqual(first["caption"], MESSAGES["MSG_TITLE"])
        self.assertEqual(first["owner_class"], "TidewellClass")
        prompt = box_text(first)
        self.assertEqual(prompt, readonly_prompt(self.data("report.txt")))
        self.assertEqual(prompt.split("\n")[1], self.data("report.txt"), "the path stands on a line of its own")
        self.assertQuestionDialog(first, second, prompt)

        self.assertEqual(self.dialog_results(), [IDYES, IDYES], "Enter chooses Yes")
        self.assertFalse(self.exists(self.data("report.txt")))
        picture = self.prefix.screenshot(first["screenshot"], "readonly-question")
        self.assertTrue(picture.exists())

    def test_tab_moves_through_yes_yes_to_all_no_and_no_to_all(self):
        self.install_data(["a.txt", "b.txt", "c.txt", "d.txt"])
        self.run_program(["key:TAB+TAB+ENTER", "key:TAB+TAB+TAB+TAB+ENTER", "key:TAB+ENTER"])
        self.assertEqual(self.dialog_results(), [IDNO, IDYES, IDC_YESALL])
        self.assertTrue(self.exists(self.data("a.txt")))
        for name in ("b.txt", "c.txt", "d.txt"):
            self.assertFalse(self.exists(self.data(name)), name)

    def test_no_to_all_is_the_fourth_tab_stop(self):
        self.install_data(["a.txt", "b.txt"])
        self.run_program(["key:TAB+TAB+TAB+ENTER"])
        self.assertEqual(self.dialog_results(), [IDC_NOALL])
        self.assertTrue(self.exists(self.data("b.txt")))

    def test_the_access_keys_of_the_labels_choose_their_buttons(self):
        self.install_data(["a.txt", "b.txt", "c.txt", "d.txt"])
        self.run_program(["key:ALT-n", "key:ALT-y", "key:ALT-l"])
        self.assertEqual(self.dialog_results(), [IDNO, IDYES, IDC_NOALL])
        self.assertEqual([self.exists(self.data(n)) for n in ("a.txt", "b.txt", "c.txt", "d.txt")], [True, False, True, True])

    def test_the_access_key_of_yes_to_all(self):
        self.install_data(["a.txt", "b.txt"])
        self.run_program(["key:ALT-a"])
        self.assertEqual(self.dialog_results(), [IDC_YESALL])
        self.assertFalse(self.exists(self.data("b.txt")))


class SilentRunTest(RefusedDeletionCase):
    def test_a_silent_run_still_puts_both_questions(self):
        shared = f"{COMMON}\\shared.dll"
        self.install([{"folder": COMMON, "name": "shared.dll", "flags": ["shared"]}, {"folder": ".\\data", "name": "a.txt"}])
        self.put(shared)
        self.put(self.data("a.txt"), read_only=True)
        self.set_counts({shared: 1})
        result = self.run_program([YES, YES], silent=True)
        self.assertEqual([box_text(box) for box in result.boxes], [shared_prompt(shared), readonly_prompt(self.data("a.txt"))])
        self.assertEqual(self.dialog_results(), [IDYES])
        self.assertFalse(self.exists(shared))
        self.assertFalse(self.exists(self.data("a.txt")))
        self.assertEqual(self.saved_key(SHARED_KEY), {})

if __name__ == "__main__":
    unittest.main()
