"""Registry removal under Wine, against the prefix's real registry: the keys and values the log
names go, nothing beside them changes, the package leaves the list of installed programs, and a
registry link planted among the keys leads the removal nowhere."""
import subprocess
import unittest

from harness import TOOLS_DIR_WIN, WINE, PrefixTestCase

PROGRAM = "C:\\Program Files\\Tidewell Sample\\Remove.exe"
UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
PACKAGE = UNINSTALL + "\\Tidewell Sample"
NEIGHBOUR = UNINSTALL + "\\Tidewell Neighbour"
USER_KEY = "Software\\Tidewell Sample"
SHARED_KEY = "Software\\Tidewell Shared"

# What the package's installation left in the registry, and some of its neighbours.
SETUP_REG = f"""Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\{PACKAGE}]
"DisplayName"="Tidewell Sample 1.0"
"UninstallString"="\\"{PROGRAM.replace(chr(92), chr(92) * 2)}\\""
"EstimatedSize"=dword:00000040

[HKEY_LOCAL_MACHINE\\{PACKAGE}\\Components]
"Count"=dword:00000002

[HKEY_LOCAL_MACHINE\\{PACKAGE}\\Components\\Core]
@="core files"

[HKEY_LOCAL_MACHINE\\{PACKAGE}\\Components\\Core\\Files]
"Main"="sample.exe"
"Data"=hex:01,02,03,04

[HKEY_LOCAL_MACHINE\\{PACKAGE}\\Components\\Help]
"Book"="sample.chm"

[HKEY_LOCAL_MACHINE\\{PACKAGE}\\Options]

[HKEY_LOCAL_MACHINE\\{NEIGHBOUR}]
"DisplayName"="Tidewell Neighbour"
"UninstallString"="C:\\\\Neighbour\\\\Remove.exe"

[HKEY_LOCAL_MACHINE\\{NEIGHBOUR}\\Components]
"Count"=dword:00000001

[HKEY_CURRENT_USER\\{USER_KEY}]
"WindowPlacement"=hex:2c,00,00,00
"LastFolder"="C:\\\\Documents"

[HKEY_CURRENT_USER\\{USER_KEY}\\Recent]
"Max"=dword:00000004

[HKEY_CURRENT_USER\\{USER_KEY}\\Recent\\Files]
"1"="C:\\\\notes.txt"

[HKEY_CURRENT_USER\\{SHARED_KEY}]
@="shared by several packages"
"SampleVersion"="1.0"
"OtherVersion"="2.5"

[HKEY_CURRENT_USER\\{SHARED_KEY}\\Plugins]
"Sample"="sample.dll"

[HKEY_CURRENT_USER\\Software\\Tidewell Sample Extra]
"Stays"="a key whose name begins like the package's"
"""

MANIFEST = {
    "messages": {},
    "registry": [
        {"root": "HKLM", "path": PACKAGE},
        {"root": "HKCU", "path": USER_KEY},
        {"root": "HKCU", "path": "Software\\Tidewell Missing"},
        {"root": "HKCU", "path": SHARED_KEY + "\\\\SampleVersion"},
    ],
    # Records appended after the list, as an installation adds them on its way.
    "registry_added": [
        {"root": "HKCU", "path": SHARED_KEY + "\\\\"},
        {"root": "HKCU", "path": SHARED_KEY + "\\\\NoSuchValue"},
    ],
}

# Keys that Wine itself rewrites when a program starts: it registers the machine's fonts anew.
WINE_OWN_KEYS = {
    "system.reg": {"software\\microsoft\\windows nt\\currentversion\\fonts",
                   "software\\microsoft\\windows\\currentversion\\fonts"},
    "user.reg": {"software\\wine\\fonts\\external fonts"},
}


def value_name(entry):
    """The name of a value as the registry file writes it: @ for the unnamed value, else quoted."""
    if entry.startswith("@="):
        return ""
    name, i = [], 1
    while entry[i] != '"':
        if entry[i] == "\\":
            i += 1
        name.append(entry[i])
        i += 1
    return "".join(name)


def read_registry_file(path, below=""):
    """The keys of one of the prefix's registry files, each with its set of value entries, the
    file's own bookkeeping (times, class names) left out. Key names are as in the registry,
    lower-cased; only keys at or below `below` are kept. Wine writes a key only when it has values
    or no subkeys; the subkeys of the others stand for them."""
    keys, current, pending = {}, None, ""
    for line in path.read_text(encoding="utf-8", errors="surrogateescape").splitlines():
        if pending:
            line, pending = pending + line.lstrip(), ""
        if line.endswith("\\") and current is not None and not line.startswith("["):
            pending = line[:-1]
            continue
        if line.startswith("["):
            name = line[1:line.rindex("]")].replace("\\\\", "\\").lower()
            current = name if name == below or name.startswith(below + "\\") or not below else None
            if current is not None:
                keys[current] = set()
        elif current is not None and line and not line.startswith(("#", ";")):
            keys[current].add(line)
    return keys


def copy_snapshot(snapshot):
    """A copy of a snapshot of the registry files, to make what should be left of it."""
    return {file: {key: set(values) for key, values in keys.items()} for file, keys in snapshot.items()}


def drop_tree(test, keys, root, count):
    """Takes the key `root` (lower-cased) and every key below it out of one file's keys, and
    checks that they were `count`."""
    gone = [key for key in keys if key == root or key.startswith(root + "\\")]
    test.assertEqual(len(gone), count)
    for key in gone:
        del keys[key]


def drop_values(test, keys, key, names):
    """Takes the values of these names out of the key's entries, and checks that each was there."""
    removed = {entry for entry in keys[key] if value_name(entry) in names}
    test.assertEqual(len(removed), len(names))
    keys[key] -= removed


def assert_registry_is(test, expected, after):
    for file in expected:
        changed = sorted(k for k in set(expected[file]) | set(after[file]) if expected[file].get(k) != after[file].get(k))
        test.assertEqual(changed, [], f"{file}: keys that differ from what should be left")


VENDOR = "Software\\Tidewell Vendor"
OTHER = "Software\\Tidewell Other"  # another program's keys, which the links lead to

# A vendor's key that users may change holds the package's keys; Wine enforces no access lists,
# so any key stands for it. Another program's keys have values and subkeys.
LINKS_REG = f"""Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\{VENDOR}\\Sample Data]
"Version"="1.0"

[HKEY_LOCAL_MACHINE\\{VENDOR}\\Sample Data\\Recent]
"1"="C:\\\\notes.txt"

[HKEY_LOCAL_MACHINE\\{OTHER}\\Settings]
"Owner"="the other program"

[HKEY_LOCAL_MACHINE\\{OTHER}\\Settings\\Window]
"Placement"=hex:2c,00,00,00

[HKEY_LOCAL_MACHINE\\{OTHER}\\Settings\\Window\\Deep]
"Level"=dword:00000002

[HKEY_LOCAL_MACHINE\\{OTHER}\\Cache\\Entries]
"Count"=dword:00000007
"""


class RegistryRemovalTest(PrefixTestCase):
    def wine(self, *arguments):
        result = subprocess.run([WINE, *arguments], env=self.prefix.env, cwd=self.prefix.root, capture_output=True,
                                timeout=120)
        self.assertEqual(result.returncode, 0, f"{arguments}: {result.stderr[-2000:]}")
        return result.stdout.decode("utf-8", errors="replace")

    def installed_programs(self):
        """The display names in Wine's own list of installed programs."""
        return {line.split("|||", 1)[1] for line in self.wine("uninstaller", "--list").splitlines() if "|||" in line}

    def snapshot(self):
        """HKEY_LOCAL_MACHINE\\Software and the whole of HKEY_CURRENT_USER, once Wine has saved them."""
        self.prefix.finish()
        snapshot = {"system.reg": read_registry_file(self.prefix.path / "system.reg", "software"),
                    "user.reg": read_registry_file(self.prefix.path / "user.reg")}
        for file, keys in snapshot.items():
            for key in WINE_OWN_KEYS[file]:
                keys.pop(key, None)
        return snapshot

    def test_the_named_keys_and_values_go_and_nothing_else_changes(self):
        self.prefix.write("C:\\tidewell-tools\\setup.reg", ("\ufeff" + SETUP_REG.replace("\n", "\r\n")).encode("utf-16-le"))
        self.wine("reg", "import", "C:\\tidewell-tools\\setup.reg")
        self.prefix.install_program(PROGRAM, manifest=MANIFEST)

        listed = self.installed_programs()
        self.assertIn("Tidewell Sample 1.0", listed)
        self.assertIn("Tidewell Neighbour", listed)
        before = self.snapshot()
        machine, user = before["system.reg"], before["user.reg"]
        package = PACKAGE.lower()
        self.assertIn(package + "\\components\\core\\files", machine)
        self.assertIn('"SampleVersion"="1.0"', user[SHARED_KEY.lower()])

        result = self.prefix.run(PROGRAM, arguments=["/X"])
        self.assertCleanRun(result)
        self.assertEqual(result.boxes, [])
        after = self.snapshot()

        # What should be left: the package's key with its five subkeys gone from the machine, the
        # user's key with its two subkeys, and two values of the shared key, the unnamed one among
        # them.
        expected = copy_snapshot(before)
        drop_tree(self, expected["system.reg"], package, 6)
        drop_tree(self, expected["user.reg"], USER_KEY.lower(), 3)
        drop_values(self, expected["user.reg"], SHARED_KEY.lower(), ("SampleVersion", ""))
        assert_registry_is(self, expected, after)
        self.assertIn(NEIGHBOUR.lower() + "\\components", after["system.reg"])
        self.assertIn("software\\tidewell sample extra", after["user.reg"])

        listed = self.installed_programs()
        self.assertNotIn("Tidewell Sample 1.0", listed)
        self.assertIn("Tidewell Neighbour", listed)

    def test_a_value_directly_under_the_root_goes_by_an_empty_key_path(self):
        self.wine("reg", "add", "HKCU", "/v", "Tidewell Root Value", "/d", "x", "/f")
        self.wine("reg", "add", "HKCU", "/v", "Tidewell Root Other", "/d", "y", "/f")
        self.prefix.install_program(PROGRAM, manifest={"messages": {}, "registry": [
            {"root": "HKCU", "path": "\\\\Tidewell Root Value"}]})
        before = self.snapshot()["user.reg"]
        self.assertEqual({value_name(v) for v in before.get("", set())} & {"Tidewell Root Value", "Tidewell Root Other"},
                         {"Tidewell Root Value", "Tidewell Root Other"})

        self.assertCleanRun(self.prefix.run(PROGRAM, arguments=["/X"]))
        after = self.snapshot()["user.reg"]
        self.assertEqual({value_name(v) for v in after.get("", set())}, {value_name(v) for v in before[""]} - {"Tidewell Root Value"})
        del before[""], after[""]
        self.assertEqual(after, before)

    def test_a_registry_link_among_the_records_leaves_what_it_leads_to(self):
        self.prefix.write("C:\\tidewell-tools\\links.reg", ("\ufeff" + LINKS_REG.replace("\n", "\r\n")).encode("utf-16-le"))
        self.wine("reg", "import", "C:\\tidewell-tools\\links.reg")
        # A user replaced the package's key by a link to the other program's settings, and put a
        # link to its cache below the package's other key.
        for link, target in ((f"{VENDOR}\\Sample", f"{OTHER}\\Settings"), (f"{VENDOR}\\Sample Data\\Cache", f"{OTHER}\\Cache")):
            self.wine(f"{TOOLS_DIR_WIN}\\tw-auto.exe", "--reg-link", f"HKLM\\{link}", "--target", f"\\Registry\\Machine\\{target}")
        self.prefix.install_program(PROGRAM, manifest={"messages": {}, "registry": [
            {"root": "HKLM", "path": f"{VENDOR}\\Sample"}, {"root": "HKLM", "path": f"{VENDOR}\\Sample Data"}]})
        before = self.snapshot()["system.reg"]
        other = sorted(key for key in before if key.startswith(OTHER.lower() + "\\"))
        self.assertEqual(len(other), 4, other)  # Settings, Window, Deep and Cache\Entries: the keys with values
        for link in ("\\sample", "\\sample data\\cache"):  # as Wine saves a link: the key with its value
            self.assertIn(VENDOR.lower() + link, before)
        report = "C:\\Reports\\registry.txt"
        self.prefix.unix("C:\\Reports").mkdir()

        self.assertCleanRun(self.prefix.run(PROGRAM, arguments=["/X", f"/L={report}"]))
        after = self.snapshot()["system.reg"]

        # The package's other key goes with its plain subkey and the link below it, the link as
        # itself; the link in the record's place stays; what they lead to is as it was.
        expected = copy_snapshot({"system.reg": before})["system.reg"]
        drop_tree(self, expected, VENDOR.lower() + "\\sample data", 3)
        assert_registry_is(self, {"system.reg": expected}, {"system.reg": after})
        lines = self.prefix.unix(report).read_text(encoding="cp1252").splitlines()
        self.assertIn(f"registry key kept, a link: HKLM\\{VENDOR}\\Sample", lines)
        self.assertIn(f"registry key removed: HKLM\\{VENDOR}\\Sample Data", lines)


if __name__ == "__main__":
    unittest.main()
