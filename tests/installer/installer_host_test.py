#!/usr/bin/env python3
"""Checks of the installer and the release package that need no Windows:
the version it records against the project version, its contents against
the install image (unpacked by 7-Zip, independently of makensis), and that
makensis and the release packer give the same bytes from the same inputs."""
import argparse
import html
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

ARGS = None
SETTINGS = "KEVOValidationInfo.ini"
STAGED = ".kevonew"


def project_version():
    with open(os.path.join(ARGS.source_dir, "CMakeLists.txt"), encoding="utf-8") as f:
        m = re.search(r"project\(\s*KEVO\s+VERSION\s+([0-9.]+)", f.read())
    parts = [int(p) for p in m.group(1).split(".")]
    return tuple(parts + [0] * (4 - len(parts)))


def fixed_file_version(path):
    """FILEVERSION of a PE file's VERSIONINFO (VS_FIXEDFILEINFO)."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    assert at >= 0, f"{path} has no version resource"
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def image_names():
    with open(os.path.join(ARGS.generated, "image-files.txt"), encoding="utf-8") as f:
        return [line.strip() for line in f if line.strip()]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def makensis(out, *defines):
    cmd = [ARGS.makensis, "-V2", "-INPUTCHARSET", "UTF8", f"-DKEVO_GENERATED_DIR={ARGS.generated}", f"-DKEVO_OUTFILE={out}"]
    cmd += [f"-D{d}" for d in defines] + [os.path.join(ARGS.source_dir, "installer", "KEVOSetup.nsi")]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)


class InstallerTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="kevo-installer-test.")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def test_recorded_version_is_the_project_version(self):
        want = project_version()
        with open(os.path.join(ARGS.generated, "KEVOVersion.nsh"), encoding="utf-8") as f:
            defines = dict(re.findall(r'!define (KEVO_VERSION\w*) "?([0-9.]+)"?', f.read()))
        self.assertEqual(defines["KEVO_VERSION"], ".".join(map(str, want)))
        self.assertEqual((int(defines["KEVO_VERSION_MAJOR"]), int(defines["KEVO_VERSION_MINOR"]),
                          int(defines["KEVO_VERSION_REVISION"])), want[:3])
        self.assertEqual(fixed_file_version(ARGS.setup), want)
        for name in image_names():
            if name.endswith((".exe", ".dll")):
                self.assertEqual(fixed_file_version(os.path.join(ARGS.image, name)), want, name)

    def test_every_file_of_the_image_is_staged_and_probed_with_its_size(self):
        # The list is made once the files exist: built names included.
        with open(os.path.join(ARGS.generated, "KEVOImage.nsh"), encoding="utf-8") as f:
            listed = dict(re.findall(r'!insertmacro \$\{action\} "([^"]+)" (\d+)', f.read()))
        want = {n: str(os.path.getsize(os.path.join(ARGS.image, n))) for n in image_names() if n != SETTINGS}
        self.assertEqual(listed, want)
        self.assertIn("KEVORegRead.dll", listed)

    def test_version_given_to_makensis_replaces_the_generated_one(self):
        # The Wine tests build older and newer installers this way.
        out = os.path.join(self.tmp, "old.exe")
        makensis(out, "KEVO_VERSION=0.9.3.0", "KEVO_VERSION_MAJOR=0", "KEVO_VERSION_MINOR=9",
                 "KEVO_VERSION_REVISION=3")
        self.assertEqual(fixed_file_version(out), (0, 9, 3, 0))

    @unittest.skipUnless(shutil.which("7z"), "needs 7z (Debian package p7zip-full)")
    def test_installer_holds_the_image(self):
        subprocess.run(["7z", "x", "-y", f"-o{self.tmp}", ARGS.setup], check=True, stdout=subprocess.DEVNULL)
        # Every file is written beside the installed one, then switched.
        payload = sorted(n for n in os.listdir(self.tmp) if n != "$PLUGINSDIR")
        names = image_names()
        self.assertEqual(payload, sorted(n + STAGED for n in names + [SETTINGS + ".default", "uninstall.exe"]))
        for name in names:
            self.assertEqual(read(os.path.join(self.tmp, name + STAGED)), read(os.path.join(ARGS.image, name)), name)
        self.assertEqual(read(os.path.join(self.tmp, SETTINGS + ".default" + STAGED)),
                         read(os.path.join(ARGS.image, SETTINGS)))
        if os.path.exists(os.path.join(ARGS.image, "KEVORevoke.exe")):
            self.assertIn("KEVORevoke.exe", names)

    def test_same_inputs_give_the_same_installer(self):
        first, second = os.path.join(self.tmp, "1.exe"), os.path.join(self.tmp, "2.exe")
        makensis(first)
        makensis(second)
        self.assertEqual(read(first), read(second))
        self.assertEqual(read(first), read(ARGS.setup))

    def test_release_package_is_reproducible_and_checksummed(self):
        tool = os.path.join(ARGS.source_dir, "installer", "release_tool.py")
        outs = [os.path.join(self.tmp, d) for d in ("a", "b")]
        for out in outs:
            subprocess.run([sys.executable, tool, "pack", "--installer", ARGS.setup, "--image", ARGS.image,
                            "--files", os.path.join(ARGS.generated, "image-files.txt"),
                            "--version", "9.8.7.6", "--out", out], check=True, stdout=subprocess.DEVNULL)
        listing = sorted(os.listdir(outs[0]))
        self.assertEqual(listing, sorted(["SHA256SUMS", "KEVO-9.8.7.6-image.zip", os.path.basename(ARGS.setup)]))
        for name in listing:
            self.assertEqual(read(os.path.join(outs[0], name)), read(os.path.join(outs[1], name)), name)
        subprocess.run(["sha256sum", "--check", "--quiet", "SHA256SUMS"], cwd=outs[0], check=True)
        with zipfile.ZipFile(os.path.join(outs[0], "KEVO-9.8.7.6-image.zip")) as z:
            self.assertEqual(sorted(z.namelist()), sorted(f"KEVO-9.8.7.6/{n}" for n in image_names()))
            for name in image_names():
                self.assertEqual(z.read(f"KEVO-9.8.7.6/{name}"), read(os.path.join(ARGS.image, name)), name)

    def test_guides_name_the_configured_help_desk_in_sans_serif_pages(self):
        # The values come from the tree's cache, as the build was configured;
        # a page must name each one and carry no token left unfilled.
        with open(os.path.join(ARGS.image, os.pardir, "CMakeCache.txt"), encoding="utf-8") as f:
            contact = dict(re.findall(r"^(KEVO_HELPDESK_\w+):STRING=(.+)$", f.read(), re.M))
        self.assertEqual(sorted(contact), ["KEVO_HELPDESK_HOURS", "KEVO_HELPDESK_NAME",
                                           "KEVO_HELPDESK_PHONE", "KEVO_HELPDESK_URL"])
        for guide in ("user-guide", "admin-guide"):
            page = os.path.join(ARGS.image, guide + ".html")
            if not os.path.exists(page):
                self.skipTest("the guides are built with pandoc (Debian package pandoc)")
            with open(page, encoding="utf-8") as f:
                source = f.read()
            body_text = re.sub(r"<[^>]*>", "", re.sub(r"<style.*?</style>", "", source, flags=re.S))
            text = " ".join(html.unescape(body_text).split())
            for name, value in contact.items():
                self.assertTrue(" ".join(value.split()) in text, f"{guide} does not name {name}={value}")
            link = f'href="{html.escape(contact["KEVO_HELPDESK_URL"], quote=False)}"'
            self.assertTrue(link in source, f"{guide}: no link {link}")
            left = re.search(r".{0,20}(\{\{|\}\}).{0,20}", text)
            self.assertIsNone(left, f"{guide}: a token left unfilled")
            # Browsers show a page without fonts of its own in a serif face.
            css = "".join(re.findall(r"<style[^>]*>(.*?)</style>", source, re.S))
            body = re.search(r"(?:^|\})\s*body\s*\{([^}]*)\}", css)
            self.assertRegex(body.group(1), r'font-family:\s*Meiryo,\s*"Yu Gothic",\s*YuGothic,\s*sans-serif;', guide)
            img = re.search(r"(?:^|\})\s*img\s*\{([^}]*)\}", css)
            self.assertRegex(img.group(1), r"max-width:\s*100%;", guide)
            self.assertRegex(img.group(1), r"height:\s*auto;", guide)

    def test_guides_join_japanese_lines_without_a_space(self):
        # A sentence wrapped in the Markdown source reads as one word in the
        # page: no space where the line broke between Japanese characters.
        cjk = "[\u3000-\u30ff\u3400-\u9fff\uff00-\uffef]"
        for guide in ("user-guide", "admin-guide"):
            page = os.path.join(ARGS.image, guide + ".html")
            if not os.path.exists(page):
                self.skipTest("the guides are built with pandoc (Debian package pandoc)")
            with open(os.path.join(ARGS.source_dir, "docs", guide + ".md"), encoding="utf-8") as f:
                wraps = re.findall(f"({cjk}{{2}})\n({cjk}{{2}})", f.read())
            self.assertTrue(wraps, guide)
            with open(page, encoding="utf-8") as f:
                text = html.unescape(re.sub(r"<[^>]*>", "", f.read()))
            for before, after in wraps:
                self.assertNotIn(f"{before} {after}", text, guide)
                self.assertIn(before + after, text, guide)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for opt in ("--source-dir", "--setup", "--image", "--generated", "--makensis"):
        parser.add_argument(opt, required=True)
    ARGS, rest = parser.parse_known_args()
    for key in ("source_dir", "setup", "image", "generated"):
        setattr(ARGS, key, os.path.abspath(getattr(ARGS, key)))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
