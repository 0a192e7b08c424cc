#!/usr/bin/env python3
"""Summary of the installer and the release package of a Windows build tree.

summary: prints the installer's size and what it installs (the build shows it).
pack:    copies the installer, zips the install image and writes SHA256SUMS,
         all byte for byte the same for the same inputs (fixed dates, sorted
         names, fixed permissions).
nsh:     the installer's list of the image's files with their sizes, made when
         the files exist (their names are only known then).
"""
import argparse
import hashlib
import os
import shutil
import sys
import zipfile

# Zip entries carry this date (the zip format cannot go earlier).
ZIP_DATE = (1980, 1, 1, 0, 0, 0)

SETTINGS = "KEVOValidationInfo.ini"

# What the installer writes besides the files (installer/KEVOSetup.nsi).
REGISTRY_AND_SHELL = [
    r"HKLM\Software\KEVO  InstallPath (REG_SZ, the install folder)   [{bits}-bit view]",
    r"HKLM\Software\KEVO\Version  Major, Minor, Revision (REG_DWORD)   [{bits}-bit view]",
    r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run  KEVOSoftverchk   [{bits}-bit view]",
    r"HKLM\Software\KEVO  JvmPath (REG_SZ, only for a runtime named with /JVM=)   [{bits}-bit view]",
    r"HKLM\...\App Paths\KEVORevoke.exe  the wizard, started by name from the Run box   [both views]",
    r"HKLM\...\Uninstall\KEVO  Programs and Features entry   [{bits}-bit view]",
    r"Start menu (all users)\KEVO利用者ソフト: the reader/writer setting",
    r"Start menu (all users)\KEVO利用者ソフト: the revocation wizard (KEVORevoke)",
    r"Start menu (all users)\KEVO利用者ソフト: 利用の手引き (user-guide.html)",
    r"Start menu (all users)\KEVO利用者ソフト: 診断情報, the diagnostics report (KEVODiag)",
]


def read_names(path):
    with open(path, encoding="utf-8") as f:
        return [line.strip() for line in f if line.strip()]


def summary(args):
    names = read_names(args.files)
    size = os.path.getsize(args.installer)
    print(f"Installer {os.path.basename(args.installer)}: {size} bytes ({size / 1024:.0f} KiB)")
    bits = args.bits
    print(rf"It installs into <{bits}-bit Program Files>\KEVO:")
    for name in names:
        path = os.path.join(args.image, name)
        note = " (kept when edited; the shipped default also as .default)" if name == SETTINGS else ""
        print(f"  {name:26} {os.path.getsize(path):>8} bytes{note}")
    print(f"  {'uninstall.exe':26} {'':>8}       (written at install time)")
    print("and writes:")
    for line in REGISTRY_AND_SHELL:
        if "KEVORevoke" in line and "KEVORevoke.exe" not in names:
            continue
        if "user-guide.html" in line and "user-guide.html" not in names:
            continue
        if "KEVODiag" in line and "KEVODiag.exe" not in names:
            continue
        print("  " + line.format(bits=bits))


def zip_image(image, names, prefix, out_path):
    with zipfile.ZipFile(out_path, "w", compression=zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in sorted(names):
            info = zipfile.ZipInfo(f"{prefix}/{name}", date_time=ZIP_DATE)
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            with open(os.path.join(image, name), "rb") as f:
                z.writestr(info, f.read())


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 16), b""):
            h.update(block)
    return h.hexdigest()


def pack(args):
    names = read_names(args.files)
    if args.admin_files:
        names += read_names(args.admin_files)
    os.makedirs(args.out, exist_ok=True)
    setup = os.path.join(args.out, os.path.basename(args.installer))
    shutil.copyfile(args.installer, setup)
    zip_name = f"KEVO-{args.version}-image{args.suffix}.zip"
    zip_image(args.image, names, f"KEVO-{args.version}", os.path.join(args.out, zip_name))
    deliverables = sorted([os.path.basename(setup), zip_name])
    with open(os.path.join(args.out, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as f:
        for name in deliverables:
            f.write(f"{sha256(os.path.join(args.out, name))}  {name}\n")
    print(f"Release {args.version} in {args.out}:")
    for name in deliverables + ["SHA256SUMS"]:
        print(f"  {name}  {os.path.getsize(os.path.join(args.out, name))} bytes")


def nsh(args):
    names = [n for n in read_names(args.files) if n != SETTINGS]
    sizes = [os.path.getsize(os.path.join(args.image, n)) for n in names]
    image = os.path.abspath(args.image).replace("\\", "/")
    lines = ["; Generated from the install image when its files exist.",
             f'!define KEVO_IMAGE_DIR "{image}"',
             f"!define KEVO_IMAGE_BYTES {sum(sizes) + os.path.getsize(os.path.join(args.image, SETTINGS))}",
             "; Runs the macro named by action on every file of the image but the settings",
             "; file, with its name and size in bytes.",
             "!macro KEVO_FOR_EACH_IMAGE_FILE action"]
    lines += [f'  !insertmacro ${{action}} "{n}" {size}' for n, size in zip(names, sizes)]
    lines.append("!macroend")
    with open(args.out, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("nsh")
    p.add_argument("--image", required=True)
    p.add_argument("--files", required=True, help="the image's file names, one a line")
    p.add_argument("--out", required=True)
    for name in ("summary", "pack"):
        p = sub.add_parser(name)
        p.add_argument("--installer", required=True)
        p.add_argument("--image", required=True)
        p.add_argument("--files", required=True, help="the image's file names, one a line")
        if name == "summary":
            p.add_argument("--bits", default="32", help="the tools' kind: 32, or 64 in the test build")
        if name == "pack":
            p.add_argument("--version", required=True)
            p.add_argument("--suffix", default="", help="end of the names, -testbed for a testbed release")
            p.add_argument("--out", required=True)
            p.add_argument("--admin-files", help="names of the image's files for administrators only, one a line")
    args = parser.parse_args()
    {"summary": summary, "pack": pack, "nsh": nsh}[args.command](args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
