"""A package's own installation inside a prefix, as it happens on a user's machine: a batch file,
run by the prefix's command interpreter, copies the package's files and shortcuts into place,
enters its registry keys with `reg add`, and as its last step runs tidewell-log.exe, which
attaches the uninstall log to a copy of the uninstaller, with the folder names of the manifest
resolved on this machine, and registers the package in the list of installed programs."""
import json
import shutil
import subprocess

from harness import WIN64_DIR, WINE

SETUP = "C:\\setup"
TOOL = SETUP + "\\tidewell-log.exe"
STUB = SETUP + "\\uninstall.exe"
MANIFEST = SETUP + "\\package.json"
PAYLOAD = SETUP + "\\payload"
# The list of installed programs below HKLM\Software, or below VIEW32, HKLM\Software as a
# 32-bit program sees it.
UNINSTALL_BELOW_SOFTWARE = "Microsoft\\Windows\\CurrentVersion\\Uninstall"
UNINSTALL = f"Software\\{UNINSTALL_BELOW_SOFTWARE}"
VIEW32 = "Software\\Wow6432Node"


def attach_line(out, tool=TOOL):
    """The installation's last step: one command line."""
    return f'"{tool}" attach --stub "{STUB}" --manifest "{MANIFEST}" --out "{out}" --register'


def install(prefix, build_dir, manifest, payload, steps, out, timeout=120):
    """Puts the build's tidewell-log.exe and uninstaller, the package's files (payload: name below
    the payload folder -> bytes) and its manifest on the prefix's setup medium, and runs the batch
    of `steps` with the attach line last. Returns the finished process (status, output)."""
    shutil.rmtree(prefix.unix(SETUP), ignore_errors=True)
    prefix.unix(SETUP).mkdir(parents=True)
    shutil.copy(build_dir / "tidewell-log.exe", prefix.unix(TOOL))
    shutil.copy(build_dir / "uninstall.exe", prefix.unix(STUB))
    for name, content in payload.items():
        prefix.write(f"{PAYLOAD}\\{name}", content)
    prefix.write(MANIFEST, json.dumps(manifest, indent=2, ensure_ascii=False).encode("utf-8"))
    batch = ["@echo off", *steps, attach_line(out), "exit /b %errorlevel%"]
    prefix.write(SETUP + "\\install.bat", "\r\n".join(batch) + "\r\n")
    # The interpreter of the prefix's own bitness, which starts a 32-bit tool as Windows does, in
    # the setup medium's folder.
    return subprocess.run([WINE, "cmd", "/c", SETUP + "\\install.bat"], env=prefix.env, cwd=prefix.unix(SETUP),
                          capture_output=True, timeout=timeout, stdin=subprocess.DEVNULL)


def reg_query(prefix, key):
    """The values of a registry key as `reg query` lists them: {name: (type, data)}; None when the
    key is not there. It writes in the console's code page, the prefix's OEM one (437)."""
    result = subprocess.run([WINE, "reg", "query", key], env=prefix.env, capture_output=True, timeout=120,
                            stdin=subprocess.DEVNULL)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.decode("cp437", "replace").splitlines():
        parts = line.strip().split("    ")
        if line.startswith("    ") and len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
    return values


def run_quiet_uninstall(prefix, entry, program):
    """Runs the entry's QuietUninstallString as a deployment tool would, as it stands (from a
    batch file, so that the interpreter reads its quotes); returns the run, with what the helper
    saw and the exit status."""
    prefix.write(SETUP + "\\quiet.bat", f"@{entry['QuietUninstallString'][1]}\r\n")
    return prefix.run(program, command=[WINE, "cmd", "/c", SETUP + "\\quiet.bat"])


def installed_programs(prefix):
    """Wine's own list of installed programs: {key: display name}."""
    result = subprocess.run([WINE, "uninstaller", "--list"], env=prefix.env, capture_output=True, timeout=120,
                            stdin=subprocess.DEVNULL)
    listing = result.stdout.decode("utf-8", "replace")
    return dict(line.rstrip("\r").split("|||", 1) for line in listing.splitlines() if "|||" in line)


def attach_unicode(prefix, manifest, out, build_dir=WIN64_DIR):
    """The installation's last step, tidewell-log.exe attach --register, started with its
    arguments as Unicode, not from a batch file (Wine's cmd reads one in the console's code page,
    which holds few scripts); the package's files and keys are the caller's. Returns the
    finished process."""
    prefix.unix(SETUP).mkdir(parents=True, exist_ok=True)
    shutil.copy(build_dir / "tidewell-log.exe", prefix.unix(TOOL))
    shutil.copy(build_dir / "uninstall.exe", prefix.unix(STUB))
    prefix.write(MANIFEST, json.dumps(manifest, ensure_ascii=False).encode("utf-8"))
    return subprocess.run([WINE, TOOL, "attach", "--stub", STUB, "--manifest", MANIFEST, "--out", out, "--register"],
                          env=prefix.env, cwd=prefix.unix(SETUP), capture_output=True, timeout=120,
                          stdin=subprocess.DEVNULL)


def import_registry(prefix, keys):
    """Makes registry keys with their text values ({key: {name: text}}) as an installer's .reg
    file does, in UTF-16 LE, which regedit reads as the Unicode it is."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in keys.items():
        lines.append(f"[{key}]")
        lines += ['"{}"="{}"'.format(name, text.replace("\\", "\\\\").replace('"', '\\"')) for name, text in values.items()]
        lines.append("")
    prefix.write(SETUP + "\\package.reg", b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))
    subprocess.run([WINE, "regedit", "/S", SETUP + "\\package.reg"], env=prefix.env, capture_output=True, timeout=120,
                   stdin=subprocess.DEVNULL, check=True)


def registry_export(prefix, key):
    """The key's text values as regedit exports them, in UTF-16: {name: text}; None when the key
    is not there."""
    out = "C:\\tidewell-tools\\export.reg"
    subprocess.run([WINE, "regedit", "/E", out, key], env=prefix.env, capture_output=True, timeout=120,
                   stdin=subprocess.DEVNULL)
    path = prefix.unix(out)
    if not path.exists():
        return None
    values = {}
    for line in path.read_bytes().decode("utf-16").splitlines():
        if line.startswith('"') and '"="' in line:
            name, text = line[1:-1].split('"="', 1)
            values[name] = text.replace("\\\\", "\\").replace('\\"', '"')
    path.unlink()
    return values


def entry_export(prefix, key, software="Software"):
    """The package's entry in the machine's list of installed programs, as registry_export reads it;
    software is where HKLM\\Software lies for the program that made it (VIEW32 for a 32-bit one)."""
    return registry_export(prefix, f"HKEY_LOCAL_MACHINE\\{software}\\{UNINSTALL_BELOW_SOFTWARE}\\{key}")


def assert_removed_whole(case, paths, key, software="Software"):
    """After a run that removed a package attached on the machine: its self-deletion's job ended,
    and none of the paths, no batch and no entry of the package is left."""
    case.assertTrue(case.prefix.finish(), "the self-deletion's batch job did not end")
    for path in paths:
        case.assertFalse(case.prefix.unix(path).exists(), path)
    case.assertEqual(case.prefix.job_batches(), [])
    case.assertIsNone(entry_export(case.prefix, key, software))
