// kevo_testbed_probe: one WinINet exchange with the testbed, the way the
// deliverables make theirs, with every outcome written to a file so that a
// test (or a person checking the rig) can read what the platform did.
//
//   kevo_testbed_probe out=FILE url=URL [proxy=HOST:PORT] [user=U pass=P]
//                      [dialog=1] [retry=new|same] [method=GET] [data=TEXT]
//                      [limit=BYTES] [timeout=MS]
//
// user/pass go to the connection handle as proxy credentials. dialog=1: a
// first answer 407 opens the platform's proxy sign-in window over the
// desktop; when it asks for a retry the request is sent again, on a new
// request handle of the same connection (retry=new, default) or on the same
// handle (retry=same). The file holds "key=value" lines: open, crack,
// connect, request<N>, send<N>, error<N>, status<N>, body<N> (hex), read<N>,
// dialog; N is 1 for the first attempt and 2 for the retry.
#include <windows.h>
#include <wininet.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

std::string Narrow(const wchar_t* text)
{
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], size, NULL, NULL);
    return out;
}

class Report {
public:
    explicit Report(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}
    ~Report()
    {
        if (file_)
            std::fclose(file_);
    }
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;
    bool ok() const { return file_ != NULL; }
    void Put(const std::string& key, unsigned long value) { Put(key, std::to_string(value)); }
    void Put(const std::string& key, const std::string& value)
    {
        std::fprintf(file_, "%s=%s\n", key.c_str(), value.c_str());
        std::fflush(file_);
    }

private:
    FILE* file_;
};

class Handle {
public:
    explicit Handle(HINTERNET h = NULL) : h_(h) {}
    ~Handle() { Reset(NULL); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void Reset(HINTERNET h)
    {
        if (h_)
            InternetCloseHandle(h_);
        h_ = h;
    }
    HINTERNET get() const { return h_; }

private:
    HINTERNET h_;
};

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

struct Settings {
    std::map<std::string, std::string> values;
    std::string Get(const std::string& key, const std::string& fallback = "") const
    {
        std::map<std::string, std::string>::const_iterator it = values.find(key);
        return it == values.end() ? fallback : it->second;
    }
};

// Sends one request and records the outcome under the attempt's number;
// returns the status (0 when there is none).
DWORD Exchange(Report& report, HINTERNET request, const std::string& data, unsigned long limit, int attempt)
{
    const std::string n = std::to_string(attempt);
    BOOL sent = HttpSendRequestA(request, NULL, 0, data.empty() ? NULL : const_cast<char*>(data.data()),
                                 static_cast<DWORD>(data.size()));
    report.Put("send" + n, sent ? 1 : 0);
    report.Put("error" + n, sent ? 0 : GetLastError());
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, NULL))
        status = 0;
    report.Put("status" + n, status);
    if (!sent)
        return status;
    std::string body;
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        DWORD want = sizeof buffer;
        if (limit - body.size() < want)
            want = static_cast<DWORD>(limit - body.size());
        if (want == 0)
            break;
        if (!InternetReadFile(request, buffer, want, &got)) {
            report.Put("readerror" + n, GetLastError());
            break;
        }
        if (got == 0)
            break;
        body.append(buffer, got);
    }
    report.Put("read" + n, static_cast<unsigned long>(body.size()));
    report.Put("body" + n, Hex(body));
    return status;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Settings settings;
    for (int i = 1; argv && i < argc; ++i) {
        std::string arg = Narrow(argv[i]);
        size_t eq = arg.find('=');
        if (eq != std::string::npos)
            settings.values[arg.substr(0, eq)] = arg.substr(eq + 1);
    }
    if (argv)
        LocalFree(argv);
    Report report(settings.Get("out"));
    if (!report.ok())
        return 2;

    const std::string url = settings.Get("url");
    const std::string proxy = settings.Get("proxy");
    const std::string method = settings.Get("method", "GET");
    const std::string data = settings.Get("data");
    const unsigned long limit = std::strtoul(settings.Get("limit", "65536").c_str(), NULL, 10);
    DWORD timeout = std::strtoul(settings.Get("timeout", "30000").c_str(), NULL, 10);

    Handle internet(InternetOpenA("KEVOTestbedProbe", proxy.empty() ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PROXY,
                                  proxy.empty() ? NULL : proxy.c_str(), NULL, 0));
    report.Put("open", internet.get() ? 1 : 0);
    if (!internet.get())
        return 1;
    InternetSetOptionA(internet.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(internet.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);

    char host[512] = "";
    char path[1024] = "";
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    if (!InternetCrackUrlA(url.c_str(), 0, 0, &parts)) {
        report.Put("crack", 0);
        return 1;
    }
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    Handle connection(InternetConnectA(internet.get(), host, parts.nPort, "", "", INTERNET_SERVICE_HTTP, 0, 0));
    report.Put("connect", connection.get() ? 1 : 0);
    if (!connection.get())
        return 1;
    const std::string user = settings.Get("user");
    const std::string pass = settings.Get("pass");
    if (!user.empty() && !pass.empty()) {
        InternetSetOptionA(connection.get(), INTERNET_OPTION_PROXY_USERNAME, const_cast<char*>(user.c_str()),
                           static_cast<DWORD>(user.size() + 1));
        InternetSetOptionA(connection.get(), INTERNET_OPTION_PROXY_PASSWORD, const_cast<char*>(pass.c_str()),
                           static_cast<DWORD>(pass.size() + 1));
    }
    const DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | (secure ? INTERNET_FLAG_SECURE : 0);
    Handle request(HttpOpenRequestA(connection.get(), method.c_str(), path, "", NULL, NULL, flags, 0));
    report.Put("request1", request.get() ? 1 : 0);
    if (!request.get())
        return 1;
    DWORD status = Exchange(report, request.get(), data, limit, 1);

    if (status == HTTP_STATUS_PROXY_AUTH_REQ && settings.Get("dialog") == "1") {
        DWORD answer = InternetErrorDlg(GetDesktopWindow(), request.get(), ERROR_INTERNET_INCORRECT_PASSWORD,
                                        FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                            FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                                        NULL);
        report.Put("dialog", answer);
        if (answer == ERROR_INTERNET_FORCE_RETRY) {
            if (settings.Get("retry", "new") == "new") {
                request.Reset(NULL);
                request.Reset(HttpOpenRequestA(connection.get(), method.c_str(), path, "", NULL, NULL, flags, 0));
                report.Put("request2", request.get() ? 1 : 0);
                if (!request.get())
                    return 1;
            }
            Exchange(report, request.get(), data, limit, 2);
        }
    }
    report.Put("done", 1);
    return 0;
}
