#!/usr/bin/env python3
"""Writes KEVO-SDK-<version><suffix>.zip from the staged SDK folder into the
release folder and adds it to the release's SHA256SUMS.

The zip is reproducible as the image zip is: entries in sorted order under
KEVO-SDK-<version>/, each with the same fixed date and plain file mode."""
import argparse
import os
import sys
import zipfile

# The release's zips share their fixed date and checksums.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "installer"))
from release_tool import ZIP_DATE, sha256  # noqa: E402

# What a complete SDK holds; a missing file fails the release.
CONTENTS = [
    "README.ja.md",
    "include/KEVOServiceAPI.h",
    "lib/x64/KEVOServiceAPIk.def",
    "lib/x64/libKEVOServiceAPIk.a",
    "lib/x86/KEVOServiceAPIk.def",
    "lib/x86/libKEVOServiceAPIk.a",
    "sample/kevo_sample.c",
]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sdk", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--suffix", default="")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    name = f"KEVO-SDK-{args.version}{args.suffix}.zip"
    os.makedirs(args.out, exist_ok=True)
    with zipfile.ZipFile(os.path.join(args.out, name), "w", compression=zipfile.ZIP_DEFLATED,
                         compresslevel=9) as z:
        for entry in CONTENTS:
            info = zipfile.ZipInfo(f"KEVO-SDK-{args.version}/{entry}", date_time=ZIP_DATE)
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(args.sdk, entry), "rb") as f:
                z.writestr(info, f.read())
    # The release's other deliverables are listed already; the list stays
    # sorted by name.
    sums_path = os.path.join(args.out, "SHA256SUMS")
    lines = {}
    if os.path.exists(sums_path):
        with open(sums_path, encoding="ascii") as f:
            for line in f:
                digest, listed = line.rstrip("\n").split("  ", 1)
                lines[listed] = digest
    lines[name] = sha256(os.path.join(args.out, name))
    with open(sums_path, "w", encoding="ascii", newline="\n") as f:
        for listed in sorted(lines):
            f.write(f"{lines[listed]}  {listed}\n")
    print(f"  {name}  {os.path.getsize(os.path.join(args.out, name))} bytes")


if __name__ == "__main__":
    main()
