// Stand-in java.exe for the tests of the certificate viewer command. It
// checks its arguments (the main class, the certificate file, the result
// file), optionally compares the certificate file with expected bytes, and
// then does what KEVO_VIEWER_MODE says:
//   write:<hex>  write these bytes to the result file, exit 0
//   echo         copy the certificate file's first 4 bytes there, exit 0
//   none         write nothing, exit 0
//   exit:<n>     write nothing, exit n
// KEVO_VIEWER_EXPECT names a file with the expected certificate bytes (a
// mismatch exits 3); KEVO_VIEWER_LOG names a file that receives, per run,
// the command line, each argument, and the sizes of both files at start
// (-1 for a missing file), one per line.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

std::wstring Env(const wchar_t* name)
{
    wchar_t buffer[2048];
    DWORD n = GetEnvironmentVariableW(name, buffer, 2048);
    return (n == 0 || n >= 2048) ? std::wstring() : std::wstring(buffer, n);
}

bool ReadAll(const char* path, std::string* out)
{
    FILE* f = fopen(path, "rb");
    if (f == NULL)
        return false;
    char chunk[4096];
    size_t n;
    out->clear();
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        out->append(chunk, n);
    fclose(f);
    return true;
}

long long SizeOf(const char* path)
{
    std::string bytes;
    return ReadAll(path, &bytes) ? static_cast<long long>(bytes.size()) : -1;
}

std::string FromHex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(strtol(hex.substr(i, 2).c_str(), NULL, 16)));
    return out;
}

std::string Narrow(const std::wstring& w)
{
    std::string out;
    for (wchar_t c : w)
        out.push_back(static_cast<char>(c));
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    std::wstring log = Env(L"KEVO_VIEWER_LOG");
    if (!log.empty()) {
        FILE* f = _wfopen(log.c_str(), L"ab");
        if (f != NULL) {
            fprintf(f, "cmdline=%s\n", GetCommandLineA());
            for (int i = 1; i < argc; ++i)
                fprintf(f, "arg%d=%s\n", i, argv[i]);
            if (argc == 4)
                fprintf(f, "certsize=%lld\nresultsize=%lld\n", SizeOf(argv[2]), SizeOf(argv[3]));
            fputs("end\n", f);
            fclose(f);
        }
    }
    if (argc != 4 || strcmp(argv[1], "kevo.appli.KEVOUserCertServiceMain") != 0)
        return 2;

    std::string certificate;
    if (!ReadAll(argv[2], &certificate))
        return 4;
    std::wstring expectPath = Env(L"KEVO_VIEWER_EXPECT");
    if (!expectPath.empty()) {
        std::string expected;
        if (!ReadAll(Narrow(expectPath).c_str(), &expected) || expected != certificate)
            return 3;
    }

    std::string mode = Narrow(Env(L"KEVO_VIEWER_MODE"));
    std::string result;
    if (mode.compare(0, 6, "write:") == 0) {
        result = FromHex(mode.substr(6));
    } else if (mode == "echo") {
        result = certificate.substr(0, 4);
    } else if (mode.compare(0, 5, "exit:") == 0) {
        return atoi(mode.c_str() + 5);
    } else {
        return 0;  // "none" and anything unknown: no result
    }
    FILE* out = fopen(argv[3], "wb");
    if (out == NULL)
        return 5;
    fwrite(result.data(), 1, result.size(), out);
    fclose(out);
    return 0;
}
