"""The demo: a sample package "installed" in a throwaway Wine prefix, its uninstaller run as a
person would run it, and a before-and-after report of what went and what stayed."""
import sys

from harness import ARTEFACTS, WinePrefix

PROGRAM = "C:\\Program Files\\Sample Notes\\Remove.exe"
MANIFEST = {
    "messages": {
        "MSG_TITLE": "Sample Notes Uninstall",
        "MSG_CONFIRM": "This will remove Sample Notes and all of its components.\n\nDo you want to continue?",
        "MSG_DONE": "Sample Notes has been removed from your computer.",
    },
    "files": [
        {"folder": ".\\", "name": "notes.exe"},
        {"folder": ".\\help", "name": "notes.chm"},
        {"folder": ".\\help", "name": "index.txt"},
    ],
    "patterns": [".tmp", ".log"],
}
FILES = {
    "C:\\Program Files\\Sample Notes\\notes.exe": b"MZ sample program",
    "C:\\Program Files\\Sample Notes\\help\\notes.chm": b"help",
    "C:\\Program Files\\Sample Notes\\help\\index.txt": b"index",
    "C:\\Program Files\\Sample Notes\\session.tmp": b"leftover",
    "C:\\Program Files\\Sample Notes\\notes.log": b"leftover",
}


def tree(prefix, folder):
    root = prefix.unix(folder)
    if not root.exists():
        return set()
    return {"C:\\" + str(p.relative_to(prefix.path / "drive_c")).replace("/", "\\") for p in root.rglob("*")}


def main():
    prefix = WinePrefix("demo")
    try:
        for path, content in FILES.items():
            prefix.write(path, content)
        prefix.install_program(PROGRAM, manifest=MANIFEST)
        before = tree(prefix, "C:\\Program Files\\Sample Notes")
        print("Installed:")
        for path in sorted(before):
            print("   ", path)
        print(f"\nRunning {PROGRAM} under Wine; the helper presses OK in each box...")
        result = prefix.run(PROGRAM, actions=["press:1", "press:1"], shots="C:\\tidewell-tools\\shots")
        prefix.finish()
        for number, box in enumerate(result.boxes, 1):
            print(f"  box {number}: [{box['caption']}] {box_line(box)}  -> {box['action']}")
        shot = result.boxes[0]["screenshot"] if result.boxes else ""
        if shot:
            print(f"  screenshot of the confirmation: {prefix.screenshot(shot, 'demo-confirmation')}")
        print(f"  exit code: {result.code}")
        after = tree(prefix, "C:\\Program Files\\Sample Notes")
        print("\nRemoved:")
        for path in sorted(before - after):
            print("   ", path)
        print("Still there:")
        for path in sorted(after):
            print("   ", path)
        return 0 if result.clean() and result.code == 0 else 1
    finally:
        prefix.remove()


def box_line(box):
    for control in box["controls"]:
        if control["class"].lower() == "static" and control["text"]:
            return control["text"].replace("\n", " ")
    return ""


if __name__ == "__main__":
    sys.exit(main())
