#!/usr/bin/env python3
"""signature_name.py PE...: prints, per file, how its Authenticode signature
stores the program name that Windows shows in the administrator prompt
(SpcSpOpusInfo programName): "bmp <name>" (a BMPString, shown as written),
"ascii <name>" (an IA5String of ASCII characters, shown as written) or
"bad <bytes as hex>" (an IA5String holding other bytes, which Windows shows
as garbage). Read from the PE's certificate table and the signature's DER,
not through the signing tool."""
import struct
import sys

OPUS_INFO = bytes.fromhex("060a2b06010401823702010c")  # OID 1.3.6.1.4.1.311.2.1.12


def tlv(data, pos):
    """Tag, start of the value and its end at pos."""
    tag = data[pos]
    length = data[pos + 1]
    pos += 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[pos:pos + count], "big")
        pos += count
    return tag, pos, pos + length


def signature(path):
    with open(path, "rb") as f:
        pe = f.read()
    header = struct.unpack_from("<I", pe, 0x3C)[0]
    magic = struct.unpack_from("<H", pe, header + 24)[0]
    directories = header + 24 + (96 if magic == 0x10B else 112)
    offset, size = struct.unpack_from("<II", pe, directories + 4 * 8)
    if size == 0:
        raise ValueError("not signed")
    return pe[offset + 8:offset + size]  # after WIN_CERTIFICATE's header


def program_name(der):
    at = der.find(OPUS_INFO)
    if at < 0:
        raise ValueError("no SpcSpOpusInfo")
    tag, start, _ = tlv(der, at + len(OPUS_INFO))  # SET OF
    tag, start, end = tlv(der, start)  # SpcSpOpusInfo SEQUENCE
    if start == end:
        raise ValueError("no program name")
    tag, start, _ = tlv(der, start)
    if tag != 0xA0:  # programName [0] EXPLICIT SpcString
        raise ValueError("no program name")
    tag, start, end = tlv(der, start)
    value = der[start:end]
    if tag == 0x80:  # unicode [0] IMPLICIT BMPString
        return "bmp " + value.decode("utf-16-be")
    if tag == 0x81:  # ascii [1] IMPLICIT IA5String
        if all(0x20 <= b < 0x7F for b in value):
            return "ascii " + value.decode("ascii")
        return "bad " + value.hex()
    raise ValueError("program name of tag %#x" % tag)


def main():
    status = 0
    for path in sys.argv[1:]:
        try:
            print(program_name(signature(path)))
        except (ValueError, OSError, struct.error) as e:
            print("error %s: %s" % (path, e))
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
