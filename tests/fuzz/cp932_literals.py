#!/usr/bin/env python3
"""cp932_literals.py IN OUT: writes IN to OUT with every non-ASCII character
of a narrow string or character literal replaced by the octal escapes of its
Shift-JIS (code page 932) bytes, so that a compiler without
-fexec-charset=CP932 (clang) builds the same narrow bytes as the product's
Windows build. Wide and UTF-8 literals (L"", u"", U"", u8""), comments and
code are left as they are; line numbers do not change."""
import sys


def transcode(source):
    out = []
    i, n = 0, len(source)
    while i < n:
        c = source[i]
        if source.startswith("//", i):
            end = source.find("\n", i)
            end = n if end < 0 else end
            out.append(source[i:end])
            i = end
        elif source.startswith("/*", i):
            end = source.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(source[i:end])
            i = end
        elif c in "\"'":
            before = source[i - 2] if i > 1 else " "
            wide = source[max(0, i - 2):i] == "u8" or (
                i > 0 and source[i - 1] in "LuU" and not (before.isalnum() or before == "_"))
            j = i + 1
            body = []
            while j < n and source[j] != c:
                if source[j] == "\\":
                    body.append(source[j:j + 2])
                    j += 2
                    continue
                ch = source[j]
                if ord(ch) > 127 and not wide:
                    body.append("".join("\\%03o" % b for b in ch.encode("cp932")))
                else:
                    body.append(ch)
                j += 1
            out.append(c + "".join(body) + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        f.write(transcode(text))


if __name__ == "__main__":
    main()
