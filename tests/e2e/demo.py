"""The demo: the sample package Sample Notes installed in a throwaway Wine prefix by its own
installer, whose last step runs tidewell-log.exe attach --register there; its uninstaller run as
a person would run it; and a short report of what each phase removed, what stayed and why."""
import subprocess
import sys
import time

import demo_package as package
from harness import HOST_DIR, TOOLS_DIR_WIN, WIN64_DIR, WINE, WinePrefix
from installer import attach_line, install as run_installer


def wine(prefix, *arguments):
    """Runs a program of Wine's own in the prefix."""
    return subprocess.run([WINE, *arguments], env=prefix.env, cwd=prefix.root, capture_output=True, timeout=120)


def installed_programs(prefix):
    """The display names in Wine's own list of installed programs."""
    listing = wine(prefix, "uninstaller", "--list").stdout.decode("utf-8", "replace")
    return sorted(line.split("|||", 1)[1] for line in listing.splitlines() if "|||" in line)


def registry(prefix):
    """{(root, key in lower case): {value name: data as written}} of the prefix's registry files,
    once Wine has saved them. HKEY_CLASSES_ROOT lies in HKLM\\Software\\Classes."""
    prefix.finish()
    keys = {}
    for root, file in (("HKLM", "system.reg"), ("HKCU", "user.reg")):
        current = None
        for line in (prefix.path / file).read_text(encoding="utf-8", errors="replace").splitlines():
            if line.startswith("["):
                current = (root, line[1:line.rindex("]")].replace("\\\\", "\\").lower())
                keys[current] = {}
            elif current and line.startswith(("\"", "@")) and "=" in line:
                name, _, data = line.partition("=") if line.startswith("@") else line[1:].partition('"=')
                keys[current][("" if name == "@" else name).replace("\\\\", "\\")] = data
    return keys


def shared_count(keys, path):
    data = keys.get(("HKLM", package.SHARED_DLLS.lower()), {}).get(path)
    return int(data.split(":")[1], 16) if data and data.startswith("dword:") else None


def files_below(prefix, folder):
    root = prefix.unix(folder)
    return {p for p in root.rglob("*") if p.is_file()} if root.exists() else set()


def folders_below(prefix, folder):
    root = prefix.unix(folder)
    return {p for p in root.rglob("*") if p.is_dir()} | {root} if root.exists() else set()


def count_line(label, before, after):
    gone = len(before - after)
    return f"{label}: {gone} of {len(before)} removed"


def install_neighbour(prefix):
    """Another package, installed before, that shares the runtime."""
    prefix.write(f"{TOOLS_DIR_WIN}\\neighbour.reg", ("\ufeff" + package.neighbour_setup().replace("\n", "\r\n")).encode("utf-16-le"))
    wine(prefix, "reg", "import", f"{TOOLS_DIR_WIN}\\neighbour.reg")


def install(prefix, user):
    """Runs the package's installer, whose last step attaches the log and registers the package;
    returns the program tree and the manifest."""
    tree = package.program_tree()
    manifest = package.manifest(tree)
    with open(package.FONT_SOURCE, "rb") as font:
        payload = package.payload(tree, (WIN64_DIR / "sample-module.dll").read_bytes(), font.read(), user)
    print(f"  {package.SETUP}\\install.bat copies the files, shortcuts and registry keys, registers the module, and ends with")
    print(f"    {attach_line(package.PROGRAM)}")
    result = run_installer(prefix, WIN64_DIR, manifest, payload, package.installer_steps(), package.PROGRAM)
    output = result.stderr.decode("utf-8", "replace").replace("\r", "").strip().splitlines()
    print(f"  tidewell-log.exe: exit status {result.returncode}, {len(output)} warnings" + (":" if output else ""))
    for line in output:
        print("    " + line.split(": ", 2)[-1])
    if result.returncode != 0:
        raise SystemExit("the installer failed")
    # Read back on the build machine.
    blocks = subprocess.run([str(HOST_DIR / "tidewell-log"), "dump", "--blocks", str(prefix.unix(package.PROGRAM))],
                            capture_output=True, text=True, check=True).stdout
    stub = (WIN64_DIR / "uninstall.exe").stat().st_size
    print(f"  {package.PROGRAM}: {prefix.unix(package.PROGRAM).stat().st_size - stub} bytes of log in "
          f"{len(blocks.splitlines()) - 2} blocks behind the program")
    for leftover in package.LEFTOVERS:
        prefix.write(f"{package.INSTALL}\\{leftover}", b"left over")
    return tree, manifest


def box_line(box):
    for control in box["controls"]:
        if control["class"].lower() == "static" and control["text"]:
            return control["text"].replace("\n", " ")
    return ""


def main():
    started = time.time()
    prefix = WinePrefix("demo")
    try:
        user = next(p.name for p in (prefix.path / "drive_c" / "users").iterdir() if p.name.lower() != "public")
        desktop, _ = package.user_folders(user)
        menu = package.MENU
        print(f"Installing {package.DISPLAY_NAME} in a throwaway Wine prefix ({prefix.root}) with its own installer")
        install_neighbour(prefix)
        programs_before_install = installed_programs(prefix)
        tree, manifest = install(prefix, user)

        installed = files_below(prefix, package.INSTALL) - {prefix.unix(package.PROGRAM)}
        leftovers = {prefix.unix(f"{package.INSTALL}\\{leftover}") for leftover in package.LEFTOVERS}
        listed = installed - leftovers
        package_folders = folders_below(prefix, package.INSTALL)
        menu_links = files_below(prefix, menu)
        desktop_link = prefix.unix(f"{desktop}\\Sample Notes.lnk")
        font = prefix.unix(f"C:\\windows\\Fonts\\{package.FONT_FILE}")
        before = registry(prefix)
        programs_before = installed_programs(prefix)
        print(f"  {len(listed)} files in {len(package_folders)} folders, {len(leftovers)} leftover files, "
              f"{len(menu_links)} Start Menu shortcuts, a desktop shortcut, 2 shared DLLs, a font, a self-registering module")
        print(f"  installed programs before the installation: {', '.join(programs_before_install) or '(none)'}")
        print(f"  installed programs after it:                {', '.join(programs_before) or '(none)'}")

        print(f"\nRemoving it through the list of installed programs (Wine's uninstaller --remove \"{package.NAME}\" starts "
              f"the entry's UninstallString), as a person would: OK to confirm, Yes to every question")
        result = prefix.run(package.PROGRAM, actions=["press:1"], then="press:6|1", shots=f"{TOOLS_DIR_WIN}\\shots", timeout=120,
                            command=[WINE, "uninstaller", "--remove", package.NAME])
        finished = prefix.finish()
        for number, box in enumerate(result.boxes, 1):
            print(f"  box {number} [{box['caption']}] {box_line(box)[:110]}  -> {box['action']}")
        print(f"  exit code {result.code}" + ("" if finished else "; a process of the prefix had to be stopped"))
        if result.boxes and result.boxes[0]["screenshot"]:
            print(f"  screenshot of the confirmation box: {prefix.screenshot(result.boxes[0]['screenshot'], 'demo-confirmation')}")
        if "font_changes" in result.seen:
            print(f"  font-change broadcasts seen by the helper's own window: {result.seen['font_changes']}")

        after = registry(prefix)
        exists = lambda path: prefix.unix(path).exists()
        class_key = ("HKLM", f"software\\classes\\clsid\\{package.CLASS_ID.lower()}")
        print("\nWhat each phase did")
        print("  1 installed files   " + count_line("the package's files", listed, files_below(prefix, package.INSTALL)))
        for path in (package.SHARED_ALONE, package.SHARED_KEPT):
            counted, left = shared_count(before, path), shared_count(after, path)
            if not exists(path):
                state = "removed" + (", its count deleted" if left is None else f", its count left at {left}")
            elif left is not None and left < counted:
                state = f"stays: another program still uses it (count {counted} -> {left})"
            else:
                state = f"still there (count {counted} -> {left})"
            print(f"                      shared {path.rsplit(chr(92), 1)[1]}: {state}")
        print(f"                      font {package.FONT_FILE}: {'still there' if font.exists() else 'removed'}")
        print(f"                      module notesext.dll: {'still there' if exists(package.MODULE) else 'removed'}, "
              f"its COM class {'still registered' if class_key in after else 'unregistered'}")
        print(f"                      desktop shortcut: {'still there' if desktop_link.exists() else 'removed'}")
        print("  2 leftover sweep    " + count_line(f"leftover files ({', '.join(package.PATTERNS)})", leftovers,
                                                     {p for p in leftovers if p.exists()}))
        print("  3 shortcuts         " + count_line("Start Menu shortcuts", menu_links, files_below(prefix, menu)) +
              f"; their folder {'still there' if exists(menu) else 'removed'}")
        left = folders_below(prefix, package.INSTALL)
        holding = {folder for folder in left if any(p.is_file() for p in folder.rglob("*"))}
        kept = f"the {len(left)} left still hold files" if left and holding == left else f"{len(left - holding)} left empty"
        shared_dir = "still holds samplert.dll" if exists(package.SHARED_KEPT) else \
            "still there" if exists(package.SHARED_DIR) else "removed"
        # The sweep removes the package's folders that are empty after it; the pruning the rest.
        print("  4 empty folders     " + count_line("package folders (in the sweep or here)", package_folders, left) + (f" ({kept})" if left else "") +
              f"; {package.SHARED_DIR}: {shared_dir}")
        print("  5 registry")
        entry = {"root": "HKLM", "path": f"{package.UNINSTALL}\\{package.NAME}"}  # added by --register
        for record in manifest["registry"] + [entry]:
            key, _, value = record["path"].partition("\\\\")
            present = lambda keys: (value in keys.get((record["root"], key.lower()), {})) if value else \
                any(k[0] == record["root"] and (k[1] == key.lower() or k[1].startswith(key.lower() + "\\")) for k in keys)
            state = "not there before" if not present(before) else "still there" if present(after) else "removed"
            label = f"{record['root']}\\{key}" + (f" value {value}" if value else "")
            print(f"                      {label}: {state}")
        remaining = len(files_below(prefix, package.INSTALL))
        print(f"  self-deletion       Remove.exe {'still there' if exists(package.PROGRAM) else 'removed'}; its folder " +
              (f"stays: it still holds {remaining} files" if remaining else "still there" if exists(package.INSTALL) else "removed") +
              f"; its batch {'still there' if prefix.job_batches() else 'gone'}")
        print("  never touched       C:\\Program Files, C:\\Program Files\\Common Files, the Fonts folder, the desktop: "
              + ("all still there" if all(exists(p) for p in ("C:\\Program Files", "C:\\Program Files\\Common Files",
                                                              "C:\\windows\\Fonts", desktop)) else "SOMETHING IS MISSING"))

        programs_after = installed_programs(prefix)
        print(f"\nInstalled programs before: {', '.join(programs_before) or '(none)'}")
        print(f"Installed programs after:  {', '.join(programs_after) or '(none)'}")
        print(f"\nDone in {time.time() - started:.0f} s.")
        return 0 if result.clean() and result.code == 0 else 1
    finally:
        prefix.remove()


if __name__ == "__main__":
    sys.exit(main())
