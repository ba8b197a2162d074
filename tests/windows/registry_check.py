#!/usr/bin/env python3
"""Compares what a Windows DLL registered under Wine with what the Linux build's
registry file lists for the same release.

  registry_check.py present LINUX_REGISTRY WINDOWS_DLL EXPORT_DIR [--win32] [--msi]
  registry_check.py absent  LINUX_REGISTRY EXPORT_DIR

EXPORT_DIR holds one `reg export` file per registry root (root_N.reg; a missing
file is a root that is not there). The Linux file's library path and its folder
stand for the DLL's Windows path and folder; its type library platform key win32
for win64 when the DLL is 64-bit.
"""
import pathlib
import re
import sys

# The Linux registry file is read by the one reader the MSI generator uses.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "packaging" / "windows"))
from msi_source import linux_keys  # noqa: E402  pylint: disable=wrong-import-position


def reg_unquote(text):
    return text.replace('\\"', '"').replace("\\\\", "\\")


def windows_keys(files):
    keys = {}
    for f in files:
        raw = f.read_bytes()
        text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode()
        current = None
        for line in text.splitlines():
            if line.startswith("[") and line.endswith("]"):
                name = line[1:-1]
                name = re.sub(r"^HKEY_CLASSES_ROOT\\", "", name)
                current = keys.setdefault(name, {})
            elif current is not None and "=" in line:
                m = re.match(r'^(@|"((?:[^"\\]|\\.)*)")="((?:[^"\\]|\\.)*)"$', line)
                if not m:
                    sys.exit(f"unexpected value line (only text values are written): {line}")
                name = "" if m.group(1) == "@" else reg_unquote(m.group(2))
                current[name] = reg_unquote(m.group(3))
    # Keys that only hold others (TypeLib\{...}\1.1\0) are not listed by the file.
    return {k: v for k, v in keys.items() if v}


def folded(keys):
    return {k.lower(): {n.lower(): v for n, v in vals.items()} for k, vals in keys.items()}


def main():
    mode = sys.argv[1]
    linux = linux_keys(sys.argv[2])
    if mode == "absent":
        exports = sorted(pathlib.Path(sys.argv[3]).glob("*.reg"))
        left = windows_keys(exports)
        if left:
            sys.exit("left behind after unregistration: " + ", ".join(sorted(left)))
        return
    dll = sys.argv[3]
    exports = sorted(pathlib.Path(sys.argv[4]).glob("*.reg"))
    library = next(v[""] for k, v in linux.items() if k.lower().endswith("\\inprocserver32"))
    folder = library.rsplit("/", 1)[0]
    win64 = "--win32" not in sys.argv
    # An MSI writes a folder as Windows Installer gives it, with a trailing
    # backslash; DllRegisterServer writes it without.
    folder_text = dll.rsplit("\\", 1)[0] + ("\\" if "--msi" in sys.argv else "")
    expected = {}
    for key, values in linux.items():
        if win64 and key.lower().endswith("\\0\\win32"):
            key = key[: -len("win32")] + "win64"
        expected[key] = {
            n: dll if v == library else folder_text if v == folder else v
            for n, v in values.items()
        }
    got = folded(windows_keys(exports))
    want = folded(expected)
    problems = []
    for key in sorted(set(want) | set(got)):
        if key not in got:
            problems.append(f"missing key {key}")
        elif key not in want:
            problems.append(f"key not in the Linux registration: {key} {got[key]}")
        elif got[key] != want[key]:
            problems.append(f"values of {key}: {got[key]} instead of {want[key]}")
    if problems:
        sys.exit("\n".join(problems))
    print(f"{len(want)} keys as the Linux registration lists them")


if __name__ == "__main__":
    main()
