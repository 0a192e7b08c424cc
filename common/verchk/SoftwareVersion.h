// Version numbers of the user software: parsing the published version file
// and comparing it with the installed version.
#ifndef KEVO_SOFTWAREVERSION_H
#define KEVO_SOFTWAREVERSION_H

struct SoftwareVersion {
    unsigned int major;
    unsigned int minor;
    unsigned int revision;
    unsigned int build;
};

// Bytes of the version file that take part; the rest is ignored.
enum { kVersionFileReadSize = 33 };

// Outcome of ParseVersionText: 0, or the first field without a token.
enum VersionParseResult {
    kVersionParsed = 0,
    kVersionMissingMajor = 1,
    kVersionMissingMinor = 2,
    kVersionMissingRevision = 3,
    kVersionMissingBuild = 4
};

// Decimal text-to-integer conversion of one token: leading white space
// skipped, optional sign, digits up to the first non-digit; no digits give
// 0. Values beyond the signed 32-bit range saturate at its ends.
int VersionTokenValue(const char* token);

// Splits text at '.' the way strtok does (runs of dots are one separator,
// leading dots are skipped) and converts the first four tokens into
// major, minor, revision, build. Fields before a missing token stay
// written; later ones are untouched. The fourth token runs to the end of
// the text, so "2.4.0.1\r\n" gives build 1.
VersionParseResult ParseVersionText(const char* text, SoftwareVersion* ver);

// True when the first field that differs (major, minor, revision, build;
// unsigned 32-bit) is larger on the server's side.
bool IsNewerVersion(const SoftwareVersion& server, const SoftwareVersion& installed);

#endif
