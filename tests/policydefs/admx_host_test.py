#!/usr/bin/env python3
"""Host checks of the administrative templates: well-formed (xmllint), every
key and value they write one that the programs read, with the type they read
it as, every string and presentation they refer to present in both
languages, and the files in the install image and the release zip."""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zipfile

ARGS = None
NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
FILES = ["PolicyDefinitions/KEVO.admx", "PolicyDefinitions/ja-JP/KEVO.adml", "PolicyDefinitions/en-US/KEVO.adml"]
LANGUAGES = ["ja-JP", "en-US"]


def source(name):
    return os.path.join(ARGS.source_dir, "cmake", "image", name)


def program_reads():
    """(key, {value name: "dword" or "text"}) as the programs' sources read them."""
    with open(os.path.join(ARGS.source_dir, "common", "policy", "KevoPolicy.h"), encoding="utf-8") as f:
        header = f.read()
    macros = dict(re.findall(r'#define (KEVO_POLICY_\w+) "([^"]*)"', header))
    key = macros.pop("KEVO_POLICY_KEY").replace("\\\\", "\\")
    reads = {}
    for top, dirs, files in os.walk(ARGS.source_dir):
        dirs[:] = [d for d in dirs if top != ARGS.source_dir or d not in ("build", "tests", ".git")]
        for name in files:
            if not name.endswith(".cpp"):
                continue
            with open(os.path.join(top, name), encoding="utf-8", errors="replace") as f:
                for kind, macro in re.findall(r"kevopolicy::Read(Dword|Text)\((KEVO_POLICY_\w+)", f.read()):
                    reads[macros[macro]] = kind.lower()
    return key, reads


def admx():
    return ET.parse(source(FILES[0])).getroot()


def adml(language):
    return ET.parse(source(f"PolicyDefinitions/{language}/KEVO.adml")).getroot()


class AdmxTest(unittest.TestCase):
    def test_well_formed(self):
        for name in FILES:
            result = subprocess.run(["xmllint", "--noout", source(name)], capture_output=True, text=True)
            self.assertEqual(0, result.returncode, f"{name}: {result.stderr}")

    def test_every_value_written_is_read_with_its_type(self):
        key, reads = program_reads()
        self.assertEqual({"UpdateCheck", "ProxyHost", "ProxyPort", "Trace", "RWType", "Name", "Port"}, set(reads))
        written = {}
        for policy in admx().iterfind(".//p:policy", NS):
            self.assertEqual("Machine", policy.get("class"), policy.get("name"))
            self.assertEqual(key, policy.get("key"), policy.get("name"))
            if policy.get("valueName"):
                self.assertIsNotNone(policy.find("p:enabledValue/p:decimal", NS))
                written[policy.get("valueName")] = "dword"
            for element in policy.iterfind("p:elements/*", NS):
                self.assertIsNone(element.get("key"), "values stay in the policy key")
                tag = element.tag.split("}")[1]
                self.assertNotIn(element.get("expandable"), ("true", "1"), element.get("id"))
                self.assertNotIn(element.get("storeAsText"), ("true", "1"), element.get("id"))
                if tag == "enum":
                    self.assertEqual(0, len(element.findall(".//p:string", NS)), element.get("id"))
                written[element.get("valueName")] = {"text": "text", "decimal": "dword", "enum": "dword"}[tag]
        self.assertEqual(reads, written)
        # No credentials: every user can read the key.
        self.assertFalse([n for n in written if re.search("user|pass", n, re.I)])

    def test_every_reference_resolves_in_both_languages(self):
        root = admx()
        with open(source(FILES[0]), encoding="utf-8") as f:
            text = f.read()
        strings = set(re.findall(r"\$\(string\.(\w+)\)", text))
        presentations = set(re.findall(r"\$\(presentation\.(\w+)\)", text))
        self.assertTrue(strings and presentations)
        refs = {p.get("name"): {e.get("id") for e in p.iterfind("p:elements/*", NS)}
                for p in root.iterfind(".//p:policy", NS) if p.get("presentation")}
        for language in LANGUAGES:
            resources = adml(language)
            ids = {s.get("id") for s in resources.iterfind(".//p:stringTable/p:string", NS)}
            self.assertEqual(strings, ids, language)
            for s in resources.iterfind(".//p:stringTable/p:string", NS):
                self.assertTrue((s.text or "").strip(), f"{language}: {s.get('id')} is empty")
            shown = {p.get("id"): p for p in resources.iterfind(".//p:presentationTable/p:presentation", NS)}
            self.assertEqual(presentations, set(shown), language)
            for policy, elements in refs.items():
                presentation = root.find(f".//p:policy[@name='{policy}']", NS).get("presentation")
                pid = re.match(r"\$\(presentation\.(\w+)\)", presentation).group(1)
                self.assertEqual(elements, {c.get("refId") for c in shown[pid]}, f"{language}: {pid}")

    def test_image_and_release_zip_carry_them(self):
        for name in FILES:
            with open(os.path.join(ARGS.image, name), "rb") as a, open(source(name), "rb") as b:
                self.assertEqual(b.read(), a.read(), name)
        with tempfile.TemporaryDirectory() as tmp:
            setup = os.path.join(tmp, "KEVOSetup-1.0.exe")
            open(setup, "wb").close()
            subprocess.run([sys.executable, os.path.join(ARGS.source_dir, "installer", "release_tool.py"), "pack",
                            "--installer", setup, "--image", ARGS.image, "--files", ARGS.image_files,
                            "--admin-files", ARGS.admin_files, "--version", "1.0", "--out", os.path.join(tmp, "out")],
                           check=True, stdout=subprocess.DEVNULL)
            with zipfile.ZipFile(os.path.join(tmp, "out", "KEVO-1.0-image.zip")) as z:
                for name in FILES:
                    with open(source(name), "rb") as f:
                        self.assertEqual(f.read(), z.read(f"KEVO-1.0/{name}"), name)
        # Not installed: the installer's list of the image leaves them out.
        with open(ARGS.image_files, encoding="utf-8") as f:
            self.assertFalse([n for n in f if "PolicyDefinitions" in n])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--image", required=True)
    parser.add_argument("--image-files", required=True)
    parser.add_argument("--admin-files", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
