// The Java and IC card sections: the runtime the wizard would use, found by
// its own search, and the card's provider, service and readers. No card
// command is sent and no PIN asked.
#include <windows.h>
#include <winscard.h>

#include <string>

#include "DiagChecks.h"
#include "DiagNames.h"
#include "DiagTexts.h"
#include "JavaRuntime.h"
#include "KevoPolicy.h"

namespace {

const wchar_t kProviderName[] = L"KEVO Crypto Service Provider";
const wchar_t kProviderKey[] = L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\KEVO Crypto Service Provider";

std::wstring MachineName(WORD machine)
{
    if (machine == IMAGE_FILE_MACHINE_I386)
        return kTextMachineX86;
    if (machine == IMAGE_FILE_MACHINE_AMD64)
        return kTextMachineX64;
    return Fmt(kTextMachineOther, machine);
}

// Why the search found nothing, as the report's NG line.
void ReportFailedSearch(DiagReport& report, const kevojava::JvmSearch& search)
{
    const std::wstring advice = Fmt(kAdviceRuntime, MachineName(kevojava::ToolsMachine()).c_str());
    if (search.noRuntimeRegistered || search.tried.empty()) {
        report.Ng(kNgNoRuntime, advice);
        return;
    }
    for (const kevojava::JvmCandidate& candidate : search.tried) {
        if (candidate.machine != 0) {
            report.Ng(Fmt(kNgOtherMachine, MachineName(candidate.machine).c_str(), candidate.path.c_str()), advice);
            return;
        }
    }
    report.Ng(Fmt(kNgJvmMissing, search.tried.front().path.c_str()), advice);
}

// The reader the card's software is told to use, as the setting tool shows
// it: the machine's policy over the user's values.
struct ReaderChoice {
    DWORD rwType = 0;
    std::wstring name;
    std::wstring port;
    diagnames::Source source = diagnames::kSourceDefault;
};

ReaderChoice ChosenReader()
{
    ReaderChoice choice;
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        DWORD size = sizeof choice.rwType;
        if (RegQueryValueExW(key, L"RWType", NULL, NULL, (BYTE*)&choice.rwType, &size) == ERROR_SUCCESS)
            choice.source = diagnames::kSourceUser;
        else
            choice.rwType = 0;
        RegCloseKey(key);
    }
    const std::wstring name = RegistryText(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"Name");
    const std::wstring port = RegistryText(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"Port");
    choice.name = name == kTextUnset ? L"" : name;
    choice.port = port == kTextUnset ? L"" : port;
    DWORD type = 0;
    char text[kevopolicy::kTextCapacity];
    if (kevopolicy::ReadDword(KEVO_POLICY_RW_TYPE, &type)) {
        choice.rwType = type;
        choice.source = diagnames::kSourcePolicy;
    }
    if (kevopolicy::ReadText(KEVO_POLICY_RW_NAME, text, 128)) {
        choice.name = FromAnsi(text);
        choice.source = diagnames::kSourcePolicy;
    }
    if (kevopolicy::ReadText(KEVO_POLICY_RW_PORT, text, 7)) {
        choice.port = FromAnsi(text);
        choice.source = diagnames::kSourcePolicy;
    }
    return choice;
}

void CheckReaders(DiagReport& report, const ReaderChoice& choice)
{
    SCARDCONTEXT context = 0;
    LONG rc = SCardEstablishContext(SCARD_SCOPE_USER, NULL, NULL, &context);
    if (rc == SCARD_E_NO_SERVICE) {
        // Windows starts the service when a reader is attached and stops it
        // when the last one goes: the reader is what is missing.
        report.Ng(Fmt(kNgNoService, diagnames::SmartCardError((unsigned long)rc).c_str()), kAdviceNoReader);
        return;
    }
    if (rc != SCARD_S_SUCCESS) {
        report.Ng(Fmt(kNgService, diagnames::SmartCardError((unsigned long)rc).c_str()), kAdviceService);
        return;
    }
    report.Ok(kTextService);
    // The narrow forms: reader names are in the system code page.
    LPSTR readers = NULL;
    DWORD length = SCARD_AUTOALLOCATE;
    rc = SCardListReadersA(context, NULL, (LPSTR)&readers, &length);
    if (rc != SCARD_S_SUCCESS || readers == NULL || readers[0] == '\0') {
        const unsigned long code = (unsigned long)(rc != SCARD_S_SUCCESS ? rc : SCARD_E_NO_READERS_AVAILABLE);
        report.Ng(Fmt(kNgNoReader, diagnames::SmartCardError(code).c_str()), kAdviceNoReader);
    } else {
        bool chosenFound = false;
        for (const char* name = readers; *name != '\0'; name += strlen(name) + 1) {
            SCARD_READERSTATEA state;
            ZeroMemory(&state, sizeof state);
            state.szReader = name;
            state.dwCurrentState = SCARD_STATE_UNAWARE;
            rc = SCardGetStatusChangeA(context, 0, &state, 1);
            const std::wstring wide = FromAnsi(name);
            // The setting tool finds the stored name regardless of case.
            if (_wcsicmp(wide.c_str(), choice.name.c_str()) == 0)
                chosenFound = true;
            if (rc != SCARD_S_SUCCESS)
                report.Warn(Fmt(kWarnReaderState, wide.c_str(), diagnames::SmartCardError((unsigned long)rc).c_str()),
                            kAdviceReaderState);
            else if (state.dwEventState & SCARD_STATE_PRESENT)
                report.Ok(Fmt(kTextReaderCard, wide.c_str()));
            else
                report.Warn(Fmt(kWarnReaderEmpty, wide.c_str()), kAdviceReaderEmpty);
        }
        if (diagnames::ReaderKindOf(choice.rwType) == diagnames::kReaderPcsc && !choice.name.empty()) {
            if (chosenFound)
                report.Ok(Fmt(kTextChosenReader, choice.name.c_str()));
            else
                report.Ng(Fmt(kNgChosenReader, choice.name.c_str(), diagnames::SourceName(choice.source)),
                          choice.source == diagnames::kSourcePolicy ? kAdviceChosenByPolicy : kAdviceChosenReader);
        }
    }
    if (readers != NULL)
        SCardFreeMemory(context, readers);
    SCardReleaseContext(context);
}

// Where the loader finds the provider: a full path as it stands; a bare
// file name beside the program that loads it (the wizard, in the install
// folder), then in the system folders and the PATH. Empty when nowhere.
std::wstring ProviderFile(const std::wstring& image, const std::wstring& installDir)
{
    if (image.find_first_of(L"\\/:") != std::wstring::npos)
        return GetFileAttributesW(image.c_str()) == INVALID_FILE_ATTRIBUTES ? L"" : image;
    if (!installDir.empty() && GetFileAttributesW((installDir + image).c_str()) != INVALID_FILE_ATTRIBUTES)
        return installDir + image;
    wchar_t found[MAX_PATH];
    const DWORD n = SearchPathW(NULL, image.c_str(), NULL, MAX_PATH, found, NULL);
    return n > 0 && n < MAX_PATH ? found : L"";
}

const wchar_t kServiceClassFile[] = L"kevo\\appli\\KEVOUserCertService.class";
const char kServiceClassEntry[] = "kevo/appli/KEVOUserCertService.class";
const LONGLONG kLargestJarBytes = 256LL << 20;

// Whether an archive holds the class: its entry name is stored as it is in
// the zip's headers.
bool JarHoldsServiceClass(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool found = false;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= kLargestJarBytes) {
        std::string bytes((size_t)size.QuadPart, '\0');
        DWORD read = 0;
        if (ReadFile(file, &bytes[0], (DWORD)bytes.size(), &read, NULL) && read == bytes.size())
            found = bytes.find(kServiceClassEntry) != std::string::npos && bytes.compare(0, 2, "PK") == 0;
    }
    CloseHandle(file);
    return found;
}

// The class path entry that holds the service's classes, or empty.
std::wstring FindServiceClasses(const std::wstring& classPath)
{
    size_t at = 0;
    while (at <= classPath.size()) {
        size_t end = classPath.find(L';', at);
        if (end == std::wstring::npos)
            end = classPath.size();
        std::wstring entry = classPath.substr(at, end - at);
        at = end + 1;
        if (entry.empty())
            continue;
        const DWORD attributes = GetFileAttributesW(entry.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            const std::wstring folder = entry[entry.size() - 1] == L'\\' ? entry : entry + L"\\";
            if (GetFileAttributesW((folder + kServiceClassFile).c_str()) != INVALID_FILE_ATTRIBUTES)
                return entry;
        } else if (JarHoldsServiceClass(entry)) {
            return entry;
        }
    }
    return L"";
}

// Where the Java side looks for the service's classes: the CLASSPATH of the
// calling program, else its current folder, which the Start menu makes the
// install folder.
void CheckServiceClasses(DiagReport& report, const DiagContext& context)
{
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(L"CLASSPATH", buffer, sizeof buffer / sizeof buffer[0]);
    const bool fromEnvironment = n > 0 && n < sizeof buffer / sizeof buffer[0];
    // Without the install folder (said once, in the installation section)
    // and a CLASSPATH there is nowhere to look.
    if (!fromEnvironment && context.installDir.empty())
        return;
    const std::wstring classPath = fromEnvironment ? buffer : context.installDir;
    const std::wstring where = fromEnvironment ? Fmt(kTextClassPathVariable, classPath.c_str())
                                               : Fmt(kTextClassPathInstallDir, classPath.c_str());
    const std::wstring found = classPath.empty() ? L"" : FindServiceClasses(classPath);
    if (found.empty())
        report.Ng(Fmt(kNgServiceClasses, where.c_str()), kAdviceServiceClasses);
    else
        report.Ok(Fmt(kTextServiceClasses, found.c_str(), where.c_str()));
}

}  // namespace

void CheckJava(DiagReport& report, DiagContext& context)
{
    report.Section(kSectionJava);
    CheckServiceClasses(report, context);
    kevojava::JvmSearch search = kevojava::FindToolsJvm();
    if (search.path.empty()) {
        ReportFailedSearch(report, search);
        return;
    }
    report.Ok(Fmt(kTextJvmFound, FromAnsi(search.version.c_str()).c_str(), search.path.c_str()));
    DWORD error = 0;
    if (kevojava::LoadToolsJvm(&error) == NULL) {
        report.Ng(Fmt(kNgJvmLoad, error), kAdviceJvmLoad);
        return;
    }
    report.Ok(kTextJvmLoads);
    if (context.installDir.empty())
        return;
    // Loaded as the wizard's card step loads it; nothing of it is called.
    HMODULE library = LoadLibraryW((context.installDir + L"KEVOServiceAPI.dll").c_str());
    if (library == NULL) {
        report.Ng(Fmt(kNgLibraryLoad, GetLastError()), kAdviceLibraryLoad);
        return;
    }
    report.Ok(kTextLibraryLoads);
    FreeLibrary(library);
}

void CheckCard(DiagReport& report, DiagContext& context)
{
    report.Section(kSectionCard);
    const std::wstring image = RegistryText(HKEY_LOCAL_MACHINE, kProviderKey, L"Image Path");
    const std::wstring file = image == kTextUnset ? L"" : ProviderFile(image, context.installDir);
    if (image == kTextUnset)
        report.Ng(Fmt(kNgProvider, kProviderName), kAdviceProvider);
    else if (file.empty())
        report.Ng(Fmt(kNgProviderImage, image.c_str()), kAdviceProviderImage);
    else
        report.Ok(Fmt(kTextProvider, kProviderName, file.c_str()));
    const ReaderChoice choice = ChosenReader();
    report.Ok(Fmt(kTextReaderChoice, diagnames::ReaderChoiceWords(choice.rwType, choice.name, choice.port).c_str(),
                  (unsigned long)choice.rwType, diagnames::SourceName(choice.source)));
    CheckReaders(report, choice);
    // The reader/writer setting tool writes both views on 64-bit Windows.
    for (const wchar_t* subkey : {L"SOFTWARE\\KEVO", L"SOFTWARE\\Wow6432Node\\KEVO"}) {
        report.Ok(Fmt(kTextRwValues, subkey, RegistryText(HKEY_CURRENT_USER, subkey, L"RWType").c_str(),
                      RegistryText(HKEY_CURRENT_USER, subkey, L"Name").c_str(),
                      RegistryText(HKEY_CURRENT_USER, subkey, L"Port").c_str()));
    }
}
