// The reader/writer setting tool through its real window in the 32-bit
// prefix: what the dialog shows from the registry and the reader list, what a
// save writes (bytes and types, read back through the narrow API the
// middleware uses), the messages, the log lines and the single-instance guard.
#include <aclapi.h>
#include <commctrl.h>

#include <algorithm>

#include "RWSettingFixture.h"
#include "WindowDriver.h"

using namespace kevotest;
using namespace rwtest;

namespace {

const int kRadioAuto = 1018, kRadioPcsc = 1007, kRadioNmda = 1009;
const int kReaderLabel = 1012, kReaderList = 1015, kPortLabel = 1013, kPortList = 1016;

std::string Dword(DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

void ExpectControls(HWND dialog, bool readerList, bool portList)
{
    EXPECT_EQ(readerList, Enabled(dialog, kReaderList));
    EXPECT_EQ(readerList, Enabled(dialog, kReaderLabel));
    EXPECT_EQ(portList, Enabled(dialog, kPortList));
    EXPECT_EQ(portList, Enabled(dialog, kPortLabel));
}

void ExpectString(const char* name, const std::string& sjis)
{
    NarrowValue v = GetNarrow(kKevoKey, name);
    ASSERT_TRUE(v.present) << name;
    EXPECT_EQ((DWORD)REG_SZ, v.type) << name;
    EXPECT_EQ(Sz(sjis), v.bytes) << name;
}

void ExpectRWType(DWORD value)
{
    NarrowValue v = GetNarrow(kKevoKey, "RWType");
    ASSERT_TRUE(v.present);
    EXPECT_EQ((DWORD)REG_DWORD, v.type);
    EXPECT_EQ(Dword(value), v.bytes);
}

BOOL CALLBACK CountToolTips(HWND window, LPARAM param)
{
    std::pair<DWORD, LRESULT>* probe = reinterpret_cast<std::pair<DWORD, LRESULT>*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t cls[64];
    GetClassNameW(window, cls, 64);
    if (owner == probe->first && lstrcmpiW(cls, L"tooltips_class32") == 0)
        probe->second += SendMessageW(window, TTM_GETTOOLCOUNT, 0, 0);
    return TRUE;
}

}  // namespace

TEST_F(RWSettingTest, FirstStartWithoutKeyShowsAutomaticAndSavesRWTypeAlone)
{
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_TRUE(Checked(dialog, kRadioAuto));
    EXPECT_FALSE(Checked(dialog, kRadioPcsc));
    EXPECT_FALSE(Checked(dialog, kRadioNmda));
    ExpectControls(dialog, false, false);
    // The port list from the template's initialisation data, in its order.
    HWND ports = GetDlgItem(dialog, kPortList);
    std::vector<std::wstring> expectedPorts = {L"USB101", L"USB102", L"COM1", L"COM2", L"COM3", L"COM4"};
    EXPECT_EQ(expectedPorts, ComboItems(ports));
    EXPECT_EQ(0, ComboSelection(ports));
    EXPECT_EQ(L"USB101", WindowText(ports));
    EXPECT_TRUE(ComboItems(GetDlgItem(dialog, kReaderList)).empty());
    // Texts of the template.
    EXPECT_EQ(L"ICカードリーダライタを自動検出する(&A)", WindowText(GetDlgItem(dialog, kRadioAuto)));
    EXPECT_EQ(L"設定(&S)", WindowText(GetDlgItem(dialog, IDOK)));
    EXPECT_EQ(L"ｷｬﾝｾﾙ(&E)", WindowText(GetDlgItem(dialog, IDCANCEL)));
    // One tooltip control with the seven tools.
    std::pair<DWORD, LRESULT> probe(child_.Pid(), 0);
    EnumWindows(CountToolTips, reinterpret_cast<LPARAM>(&probe));
    EXPECT_EQ(7, probe.second);

    SaveExpectingSuccess(dialog);
    ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, kKevoKey));
    ExpectRWType(0);
    EXPECT_FALSE(GetNarrow(kKevoKey, "Name").present);
    EXPECT_FALSE(GetNarrow(kKevoKey, "Port").present);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kWowKey));
}

TEST_F(RWSettingTest, StoredReaderNotAttachedIsInsertedAtTopAndSavedUnchanged)
{
    EnableTrace(20);
    UseStandIn({"Reader B", "Reader A"});
    SetDword(HKEY_CURRENT_USER, kKevoKey, L"RWType", 1);
    SetNarrowString(kKevoKey, "Name", "Gone Reader 9");
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_TRUE(Checked(dialog, kRadioPcsc));
    ExpectControls(dialog, true, false);
    HWND readers = GetDlgItem(dialog, kReaderList);
    std::vector<std::wstring> expected = {L"Gone Reader 9", L"Reader A", L"Reader B"};
    EXPECT_EQ(expected, ComboItems(readers));
    EXPECT_EQ(0, ComboSelection(readers));

    SaveExpectingSuccess(dialog);
    ExpectString("Name", "Gone Reader 9");
    ExpectRWType(1);
    // The service's multi-string went back to the service, the context was released.
    EXPECT_EQ(1u, StandInCount(L"Listed"));
    EXPECT_EQ(1u, StandInCount(L"Freed"));
    EXPECT_EQ(0u, StandInCount(L"BadFree"));
    EXPECT_EQ(1u, StandInCount(L"Released"));
    std::string log = Logs();
    EXPECT_NE(std::string::npos, log.find("CKEVORWSettingDlg::OnInitDialog: start\r\n"));
    EXPECT_NE(std::string::npos, log.find("CKEVORWSettingDlg::OnInitDialog: end\r\n"));
    EXPECT_NE(std::string::npos, log.find("CKEVORWSettingDlg::OnOK: start\r\n"));
    EXPECT_NE(std::string::npos, log.find("CKEVORWSettingDlg::OnOK: end\r\n"));
    EXPECT_NE(std::string::npos, log.find("GetNativeSystemInfo\r\n"));
    EXPECT_NE(std::string::npos, log.find("32bitOS\r\n"));
    EXPECT_EQ(std::string::npos, log.find("Wow6432Node"));
    EXPECT_EQ(std::string::npos, log.find("RegSetValueEx"));
    EXPECT_EQ(std::string::npos, log.find("RegCreateKeyEx"));
    EXPECT_EQ(std::string::npos, log.find("SCard"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kWowKey));
}

TEST_F(RWSettingTest, AttachedReaderIsFoundCaseInsensitivelyAmongSortedNames)
{
    const std::string blanksAndKanji = Sjis(L"ＫＥＶＯ 接触型 リーダ 表ソ 0");
    UseStandIn({"Zeta Reader", blanksAndKanji, "Alpha Reader 0"});
    SetDword(HKEY_CURRENT_USER, kKevoKey, L"RWType", 1);
    SetNarrowString(kKevoKey, "Name", "alpha READER 0");
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    HWND readers = GetDlgItem(dialog, kReaderList);
    std::vector<std::wstring> items = ComboItems(readers);
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ(L"Alpha Reader 0", items[ComboSelection(readers)]);
    EXPECT_NE(items.end(), std::find(items.begin(), items.end(), L"ＫＥＶＯ 接触型 リーダ 表ソ 0"));

    // Choose the non-ASCII name and save it: stored byte for byte in Shift-JIS.
    LRESULT index = SendMessageW(readers, CB_FINDSTRINGEXACT, (WPARAM)-1,
                                 reinterpret_cast<LPARAM>(L"ＫＥＶＯ 接触型 リーダ 表ソ 0"));
    ASSERT_NE(CB_ERR, index);
    SendMessageW(readers, CB_SETCURSEL, index, 0);
    SaveExpectingSuccess(dialog);
    ExpectString("Name", blanksAndKanji);
    ExpectRWType(1);
}

TEST_F(RWSettingTest, NoReadersAndNoNameGivesMessage111AndTheDialogStays)
{
    EnableTrace(20);
    SetDword(HKEY_CURRENT_USER, kKevoKey, L"RWType", 1);
    // The platform's own library: the smart card service is not there.
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_TRUE(Checked(dialog, kRadioPcsc));
    EXPECT_TRUE(ComboItems(GetDlgItem(dialog, kReaderList)).empty());
    SaveExpectingMessage(dialog, kMessageNoReader);
    // Nothing written; Cancel ends the program and writes nothing either.
    ExpectRWType(1);
    EXPECT_FALSE(GetNarrow(kKevoKey, "Name").present);
    ClickButton(dialog, IDCANCEL);
    EXPECT_TRUE(WaitForExit());
    ExpectRWType(1);
    EXPECT_FALSE(GetNarrow(kKevoKey, "Name").present);
    std::string log = Logs();
    EXPECT_NE(std::string::npos, log.find("SCardEstablishContext fail: result=0x80100001\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("RegQueryValueEx(Name) fail: result=0x00000002\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("RegQueryValueEx(Port) fail: result=0x00000002\r\n")) << log;
    EXPECT_EQ(std::string::npos, log.find("RegSetValueEx"));
}

TEST_F(RWSettingTest, ServiceWithoutReadersIsLoggedAndTheListStaysEmpty)
{
    EnableTrace(20);
    UseStandIn({});
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_TRUE(ComboItems(GetDlgItem(dialog, kReaderList)).empty());
    // The radio buttons switch the lists.
    ClickButton(dialog, kRadioPcsc);
    EXPECT_TRUE(WaitUntil([&] { return Enabled(dialog, kReaderList); }));
    ExpectControls(dialog, true, false);
    ClickButton(dialog, kRadioNmda);
    EXPECT_TRUE(WaitUntil([&] { return Enabled(dialog, kPortList); }));
    ExpectControls(dialog, false, true);
    EXPECT_TRUE(Checked(dialog, kRadioNmda));
    EXPECT_FALSE(Checked(dialog, kRadioPcsc));
    ClickButton(dialog, kRadioAuto);
    EXPECT_TRUE(WaitUntil([&] { return !Enabled(dialog, kPortList); }));
    ExpectControls(dialog, false, false);
    ClickButton(dialog, kRadioPcsc);
    EXPECT_TRUE(WaitUntil([&] { return Enabled(dialog, kReaderList); }));
    SaveExpectingMessage(dialog, kMessageNoReader);
    EXPECT_FALSE(GetNarrow(kKevoKey, "RWType").present);
    ClickButton(dialog, IDCANCEL);
    EXPECT_TRUE(WaitForExit());
    EXPECT_NE(std::string::npos, Logs().find("SCardListReaders fail: result=0x8010002e\r\n"));
    EXPECT_EQ(1u, StandInCount(L"Released"));
    EXPECT_EQ(0u, StandInCount(L"Freed"));
}

TEST_F(RWSettingTest, UnknownRWTypeShowsAutomaticAndUnknownPortShowsUSB101)
{
    SetDword(HKEY_CURRENT_USER, kKevoKey, L"RWType", 7);
    SetNarrowString(kKevoKey, "Port", "COM9");
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_TRUE(Checked(dialog, kRadioAuto));
    ExpectControls(dialog, false, false);
    HWND ports = GetDlgItem(dialog, kPortList);
    EXPECT_EQ(0, ComboSelection(ports));
    EXPECT_EQ(6u, ComboItems(ports).size());  // COM9 is not added
    // Automatic detection writes RWType alone; the stored port stays.
    SaveExpectingSuccess(dialog);
    ExpectRWType(0);
    ExpectString("Port", "COM9");
}

TEST_F(RWSettingTest, StoredPortIsSelectedAndSavingNmdaCom3LeavesNameAlone)
{
    UseStandIn({"Reader A"});
    SetDword(HKEY_CURRENT_USER, kKevoKey, L"RWType", 2);
    SetNarrowString(kKevoKey, "Name", "Keep Me");
    SetNarrowString(kKevoKey, "Port", "com2");
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_TRUE(Checked(dialog, kRadioNmda));
    ExpectControls(dialog, false, true);
    HWND ports = GetDlgItem(dialog, kPortList);
    EXPECT_EQ(L"COM2", WindowText(ports));
    // The stored name is not attached: inserted and selected, though disabled.
    EXPECT_EQ(L"Keep Me", WindowText(GetDlgItem(dialog, kReaderList)));
    SendMessageW(ports, CB_SETCURSEL, 4, 0);
    ASSERT_EQ(L"COM3", WindowText(ports));
    SaveExpectingSuccess(dialog);
    NarrowValue port = GetNarrow(kKevoKey, "Port");
    EXPECT_EQ((DWORD)REG_SZ, port.type);
    EXPECT_EQ(std::string("COM3\0", 5), port.bytes);
    ExpectRWType(2);
    ExpectString("Name", "Keep Me");
}

TEST_F(RWSettingTest, ValuesThatFillTheReadBufferWithoutTerminatorCountAsMissing)
{
    EnableTrace(20);
    UseStandIn({"Reader A", "Reader B"});
    SetDword(HKEY_CURRENT_USER, kKevoKey, L"RWType", 1);
    SetNarrowRaw(kKevoKey, "Name", REG_SZ, std::string(128, 'N'));
    SetNarrowRaw(kKevoKey, "Port", REG_SZ, "COM1234");
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    HWND readers = GetDlgItem(dialog, kReaderList);
    std::vector<std::wstring> expected = {L"Reader A", L"Reader B"};
    EXPECT_EQ(expected, ComboItems(readers));
    EXPECT_EQ(0, ComboSelection(readers));
    EXPECT_EQ(L"USB101", WindowText(GetDlgItem(dialog, kPortList)));
    ClickButton(dialog, IDCANCEL);
    EXPECT_TRUE(WaitForExit());
    std::string log = Logs();
    EXPECT_NE(std::string::npos, log.find("RegQueryValueEx(Name) fail: result=0x000000ea\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("RegQueryValueEx(Port) fail: result=0x000000ea\r\n")) << log;
}

TEST_F(RWSettingTest, LongestValuesThatFitAreReadWhole)
{
    UseStandIn({"Reader A"});
    SetDword(HKEY_CURRENT_USER, kKevoKey, L"RWType", 1);
    const std::string name127(127, 'n');
    SetNarrowString(kKevoKey, "Name", name127);
    // Without its terminator but shorter than the buffer: still one whole text.
    SetNarrowRaw(kKevoKey, "Port", REG_SZ, "COM4");
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_EQ(Widen(name127), WindowText(GetDlgItem(dialog, kReaderList)));
    EXPECT_EQ(L"COM4", WindowText(GetDlgItem(dialog, kPortList)));
    SaveExpectingSuccess(dialog);
    ExpectString("Name", name127);
}

TEST_F(RWSettingTest, SecondCopyShowsMessage121AndNoDialog)
{
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    ChildProcess second;
    ASSERT_TRUE(second.Start(exe_, L"", options_));
    HWND box = WaitForMessageBox(second.Pid());
    ASSERT_TRUE(box != NULL);
    EXPECT_TRUE(WaitForDialog(second.Pid(), 0) == NULL);
    EXPECT_EQ(kMessageRunning, AnswerMessageBox(box));
    DWORD code = 0;
    EXPECT_TRUE(second.Wait(20000, &code));
    // The first copy is untouched and its end frees the name again.
    EXPECT_TRUE(IsWindow(dialog));
    ClickButton(dialog, IDCANCEL);
    EXPECT_TRUE(WaitForExit());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKevoKey));
    ChildProcess third;
    HWND again = StartTool(third);
    ASSERT_TRUE(again != NULL);
    ClickButton(again, IDCANCEL);
    EXPECT_TRUE(third.Wait(20000, &code));
}

TEST_F(RWSettingTest, RefusedKeyGivesMessage110WithTheCodeAndTheDialogStays)
{
    EnableTrace(20);
    SetDword(HKEY_CURRENT_USER, kKevoKey, L"RWType", 2);
    SetNarrowString(kKevoKey, "Port", "COM2");
    // Everyone may read the key but not write it; our handle keeps WRITE_DAC
    // to lift the refusal again.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kKevoKey, 0, KEY_READ | WRITE_DAC, &key));
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = NULL;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    BYTE aclBuffer[256];
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone));
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd));

    HWND dialog = StartTool();
    EXPECT_TRUE(dialog != NULL);
    if (dialog != NULL) {
        // Read access is left, so the stored choice shows.
        EXPECT_TRUE(Checked(dialog, kRadioNmda));
        EXPECT_EQ(L"COM2", WindowText(GetDlgItem(dialog, kPortList)));
        SendMessageW(GetDlgItem(dialog, kPortList), CB_SETCURSEL, 5, 0);
        SaveExpectingMessage(dialog, RegistryErrorMessage(ERROR_ACCESS_DENIED));
        // A second try after the refusal is lifted saves.
        SECURITY_DESCRIPTOR open;
        InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&open, TRUE, NULL, FALSE);
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &open));
        SaveExpectingSuccess(dialog);
        ExpectString("Port", "COM4");
    }
    SECURITY_DESCRIPTOR open;
    InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&open, TRUE, NULL, FALSE);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &open);
    RegCloseKey(key);
    FreeSid(everyone);
    std::string log = Logs();
    EXPECT_NE(std::string::npos, log.find("RegCreateKeyEx fail: result=0x00000005\r\n")) << log;
}

TEST_F(RWSettingTest, ToolTipsShowOverTheControls)
{
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    struct {
        int id;
        const wchar_t* text;
    } tools[] = {{kRadioNmda, L"NMDA対応"}, {IDCANCEL, L"キャンセル"}, {kRadioAuto, L"ICカードリーダライタを自動検出する"}};
    for (const auto& tool : tools) {
        // Mouse moves over the control reach the tooltip only through the
        // dialog's pre-translation (the tooltip does not subclass the
        // controls).
        std::wstring shown = HoverForToolTip(child_.Pid(), GetDlgItem(dialog, tool.id), tool.text, 10000);
        EXPECT_EQ(tool.text, shown) << Utf8(tool.text);
    }
    ClickButton(dialog, IDCANCEL);
    EXPECT_TRUE(WaitForExit());
}

TEST_F(RWSettingTest, ReaderChoiceSetByPolicyIsShownFixed)
{
    const std::wstring fixedLine = L"この設定は管理者が決めているため、変更できません。";
    struct Row {
        const char* what;
        std::vector<std::pair<std::wstring, std::string>> values;  // name, decimal DWORD or "sz:" text
        int radio;
        std::wstring reader;
        std::wstring port;
        bool fixed;
    };
    const Row rows[] = {
        {"reader named", {{L"RWType", "1"}, {L"Name", "sz:Policy Reader"}}, kRadioPcsc, L"Policy Reader", L"COM4", true},
        {"port named", {{L"RWType", "2"}, {L"Port", "sz:COM3"}}, kRadioNmda, L"", L"COM3", true},
        {"automatic", {{L"RWType", "0"}}, kRadioAuto, L"", L"COM4", true},
        {"type as text is no policy", {{L"RWType", "sz:1"}}, kRadioNmda, L"", L"COM4", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ResetKevoRegistry();
        SetDword(HKEY_CURRENT_USER, kKevoKey, L"RWType", 2);
        SetNarrowString(kKevoKey, "Port", "COM4");
        for (const auto& value : row.values)
            SetPolicyValue(value.first, value.second);
        HWND dialog = StartTool();
        ASSERT_TRUE(dialog != NULL);
        EXPECT_TRUE(Checked(dialog, row.radio));
        if (!row.reader.empty()) {
            EXPECT_EQ(row.reader, WindowText(GetDlgItem(dialog, kReaderList)));
        }
        EXPECT_EQ(row.port, WindowText(GetDlgItem(dialog, kPortList)));
        for (int id : {kRadioAuto, kRadioPcsc, kRadioNmda, (int)IDOK})
            EXPECT_EQ(!row.fixed, Enabled(dialog, id)) << id;
        if (row.fixed)
            ExpectControls(dialog, false, false);
        HWND line = GetDlgItem(dialog, 1020);
        EXPECT_EQ(row.fixed, IsWindowVisible(line) != FALSE);
        EXPECT_EQ(fixedLine, WindowText(line));
        if (row.fixed) {
            // Enter (the dialog's OK command) saves nothing and shows nothing.
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        }
        ClickButton(dialog, IDCANCEL);
        EXPECT_TRUE(WaitForExit());
        ExpectRWType(2);
        EXPECT_FALSE(GetNarrow(kKevoKey, "Name").present);
    }
}
