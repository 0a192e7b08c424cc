// The tool's decisions without a window, and the port list's initialisation
// data as the built program carries it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cwctype>
#include <map>
#include <string>

#include "DlgInitData.h"
#include "KevoTestSupport.h"
#include "RWSettingLogic.h"

using namespace rwsetting;

TEST(RWSettingLogic, StoredTypeToKind)
{
    EXPECT_EQ(kKindPcsc, KindFromRWType(1));
    EXPECT_EQ(kKindNmda, KindFromRWType(2));
    for (unsigned long v : {0ul, 3ul, 7ul, 0xFFFFFFFFul, 0x101ul})
        EXPECT_EQ(kKindAuto, KindFromRWType(v)) << v;
}

TEST(RWSettingLogic, ControlStatesPerKind)
{
    EXPECT_TRUE(ControlStatesFor(kKindPcsc).readerList);
    EXPECT_FALSE(ControlStatesFor(kKindPcsc).portList);
    EXPECT_FALSE(ControlStatesFor(kKindNmda).readerList);
    EXPECT_TRUE(ControlStatesFor(kKindNmda).portList);
    EXPECT_FALSE(ControlStatesFor(kKindAuto).readerList);
    EXPECT_FALSE(ControlStatesFor(kKindAuto).portList);
}

TEST(RWSettingLogic, MultiStringSplitStaysInsideItsData)
{
    const char data[] = "Reader A\0Reader B\0\0garbage";
    std::vector<std::string> names = SplitMultiString(data, 19);
    ASSERT_EQ(2u, names.size());
    EXPECT_EQ("Reader A", names[0]);
    EXPECT_EQ("Reader B", names[1]);
    // Cut short by its reported length: no read past it.
    names = SplitMultiString("Reader AXXXX", 8);
    ASSERT_EQ(1u, names.size());
    EXPECT_EQ("Reader A", names[0]);
    EXPECT_TRUE(SplitMultiString("\0\0", 2).empty());
    EXPECT_TRUE(SplitMultiString(NULL, 10).empty());
    EXPECT_TRUE(SplitMultiString("abc", 0).empty());
}

TEST(RWSettingLogic, FixedBufferNeedsItsTerminator)
{
    std::string text;
    char full[7] = {'U', 'S', 'B', '1', '0', '1', '1'};
    EXPECT_FALSE(TerminatedText(full, sizeof full, text));
    char fits[7] = {'U', 'S', 'B', '1', '0', '1', '\0'};
    ASSERT_TRUE(TerminatedText(fits, sizeof fits, text));
    EXPECT_EQ("USB101", text);
    char empty[7] = {};
    ASSERT_TRUE(TerminatedText(empty, sizeof empty, text));
    EXPECT_EQ("", text);
}

TEST(RWSettingLogic, SixtyFourBitOnlyForAmd64)
{
    EXPECT_TRUE(IsAmd64Architecture(9));
    EXPECT_FALSE(IsAmd64Architecture(0));   // x86
    EXPECT_FALSE(IsAmd64Architecture(6));   // IA64
    EXPECT_FALSE(IsAmd64Architecture(12));  // ARM64
}

TEST(RWSettingLogic, SavePassWritesOnlyTheChosenKind)
{
    std::vector<RegWrite> w;
    ASSERT_EQ(kPlanWrite, PlanSavePass(kKindPcsc, "Reader A", "COM1", w));
    ASSERT_EQ(2u, w.size());
    EXPECT_EQ("Name", w[0].name);
    EXPECT_EQ(1ul, w[0].type);
    EXPECT_EQ(std::string("Reader A\0", 9), w[0].bytes);
    EXPECT_EQ("RWType", w[1].name);
    EXPECT_EQ(4ul, w[1].type);
    EXPECT_EQ(std::string("\1\0\0\0", 4), w[1].bytes);

    ASSERT_EQ(kPlanWrite, PlanSavePass(kKindNmda, "", "COM3", w));
    ASSERT_EQ(2u, w.size());
    EXPECT_EQ("Port", w[0].name);
    EXPECT_EQ(std::string("COM3\0", 5), w[0].bytes);
    EXPECT_EQ(std::string("\2\0\0\0", 4), w[1].bytes);

    ASSERT_EQ(kPlanWrite, PlanSavePass(kKindAuto, "Reader A", "COM3", w));
    ASSERT_EQ(1u, w.size());
    EXPECT_EQ("RWType", w[0].name);
    EXPECT_EQ(std::string(4, '\0'), w[0].bytes);

    EXPECT_EQ(kPlanNoReader, PlanSavePass(kKindPcsc, "", "COM1", w));
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(kPlanNoKind, PlanSavePass(kKindNone, "Reader A", "COM1", w));
    EXPECT_TRUE(w.empty());
}

TEST(DlgInitData, ParsesRecordsAndRejectsTruncation)
{
    const unsigned char data[] = {0xF8, 0x03, 0x03, 0x04, 3, 0, 0, 0, 'A', 'B', 0,
                                  0xF8, 0x03, 0x01, 0x04, 2, 0, 0, 0, 'C', 'D',  // no zero: whole data
                                  0, 0};
    std::vector<kevoui::DlgInitItem> items;
    ASSERT_TRUE(kevoui::ParseDlgInit(data, sizeof data, items));
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(1016, items[0].controlId);
    EXPECT_EQ(0x403u, items[0].message);
    EXPECT_EQ("AB", items[0].text);
    EXPECT_EQ(0x401u, items[1].message);
    EXPECT_EQ("CD", items[1].text);
    // A length running past the end, a missing end mark, a cut header.
    EXPECT_FALSE(kevoui::ParseDlgInit(data, 15, items));
    EXPECT_EQ(1u, items.size());
    EXPECT_FALSE(kevoui::ParseDlgInit(data, sizeof data - 2, items));
    EXPECT_FALSE(kevoui::ParseDlgInit(data, 5, items));
    EXPECT_TRUE(items.empty());
    EXPECT_FALSE(kevoui::ParseDlgInit(data, 0, items));
}

TEST(DlgInitData, ProgramCarriesThePortList)
{
    HMODULE exe = LoadLibraryExW(kevotest::WinePath(KEVO_RWSETTING_EXE).c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe != NULL);
    HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(130), MAKEINTRESOURCEW(240));
    ASSERT_TRUE(found != NULL);
    const unsigned char* data = static_cast<const unsigned char*>(LockResource(LoadResource(exe, found)));
    std::vector<kevoui::DlgInitItem> items;
    ASSERT_TRUE(kevoui::ParseDlgInit(data, SizeofResource(exe, found), items));
    const char* expected[] = {"USB101", "USB102", "COM1", "COM2", "COM3", "COM4"};
    ASSERT_EQ(6u, items.size());
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(1016, items[i].controlId);
        EXPECT_EQ(0x403u, items[i].message);
        EXPECT_EQ(expected[i], items[i].text);
    }
    FreeLibrary(exe);
}

namespace {

// Records what a save does; failures are injected per key and value.
class FakeTarget : public SaveTarget {
public:
    bool sixtyFour = false;
    ReaderKind kind = kKindPcsc;
    std::string reader = "Reader A";
    std::string port = "USB101";
    std::map<std::string, long> createFails;  // path -> code
    std::map<std::string, long> setFails;     // "path|name" -> code
    std::vector<std::string> events;
    std::vector<std::string> lines;
    std::vector<std::pair<unsigned, long>> messages;
    std::string current;

    long CreateKey(const char* path) override
    {
        CloseKey();
        events.push_back(std::string("create ") + path);
        auto f = createFails.find(path);
        if (f != createFails.end())
            return f->second;
        current = path;
        return 0;
    }
    void CloseKey() override
    {
        if (!current.empty())
            events.push_back("close " + current);
        current.clear();
    }
    long SetValue(const RegWrite& value) override
    {
        EXPECT_FALSE(current.empty());
        events.push_back("set " + current + "|" + value.name);
        auto f = setFails.find(current + "|" + value.name);
        return f != setFails.end() ? f->second : 0;
    }
    bool IsSixtyFourBitWindows() override
    {
        events.push_back("arch");
        return sixtyFour;
    }
    ReaderKind SelectedKind() override { return kind; }
    std::string ReaderText() override { return reader; }
    std::string PortText() override { return port; }
    void TraceError(const std::string& line) override { lines.push_back(line); }
    void ShowMessage(unsigned id, long code) override { messages.push_back(std::make_pair(id, code)); }
};

const char kFirst[] = "SOFTWARE\\KEVO";
const char kSecond[] = "SOFTWARE\\Wow6432Node\\KEVO";

}  // namespace

TEST(RWSettingSave, ThirtyTwoBitWritesOneKey)
{
    FakeTarget t;
    EXPECT_TRUE(RunSave(t));
    std::vector<std::string> expected = {"create SOFTWARE\\KEVO", "arch", "set SOFTWARE\\KEVO|Name",
                                         "set SOFTWARE\\KEVO|RWType", "close SOFTWARE\\KEVO"};
    EXPECT_EQ(expected, t.events);
    EXPECT_TRUE(t.messages.empty());
    EXPECT_TRUE(t.lines.empty());
}

TEST(RWSettingSave, SixtyFourBitWritesBothKeysInTurn)
{
    FakeTarget t;
    t.sixtyFour = true;
    t.kind = kKindNmda;
    EXPECT_TRUE(RunSave(t));
    std::vector<std::string> expected = {
        "create SOFTWARE\\KEVO", "arch", "set SOFTWARE\\KEVO|Port", "set SOFTWARE\\KEVO|RWType",
        "close SOFTWARE\\KEVO", "create SOFTWARE\\Wow6432Node\\KEVO", "set SOFTWARE\\Wow6432Node\\KEVO|Port",
        "set SOFTWARE\\Wow6432Node\\KEVO|RWType", "close SOFTWARE\\Wow6432Node\\KEVO"};
    EXPECT_EQ(expected, t.events);
    std::vector<std::string> lines = {"set Wow6432Node start\n", "set Wow6432Node end\n"};
    EXPECT_EQ(lines, t.lines);
}

TEST(RWSettingSave, FailingSecondPassStillCountsAsSaved)
{
    FakeTarget t;
    t.sixtyFour = true;
    t.createFails[kSecond] = 1021;
    EXPECT_TRUE(RunSave(t));
    ASSERT_EQ(1u, t.messages.size());
    EXPECT_EQ(110u, t.messages[0].first);
    EXPECT_EQ(1021, t.messages[0].second);
    std::vector<std::string> lines = {"set Wow6432Node start\n", "RegCreateKeyEx fail: result=0x000003fd\n"};
    EXPECT_EQ(lines, t.lines);

    FakeTarget w;
    w.sixtyFour = true;
    w.setFails[std::string(kSecond) + "|RWType"] = 5;
    EXPECT_TRUE(RunSave(w));
    ASSERT_EQ(1u, w.messages.size());
    EXPECT_EQ(5, w.messages[0].second);
    std::vector<std::string> wlines = {"set Wow6432Node start\n", "RegSetValueEx(RWType) fail: result=0x00000005\n"};
    EXPECT_EQ(wlines, w.lines);
    EXPECT_EQ("close SOFTWARE\\Wow6432Node\\KEVO", w.events.back());
}

TEST(RWSettingSave, FailuresOfTheFirstKeyStopTheSave)
{
    FakeTarget create;
    create.sixtyFour = true;
    create.createFails[kFirst] = 5;
    EXPECT_FALSE(RunSave(create));
    std::vector<std::string> events = {"create SOFTWARE\\KEVO"};
    EXPECT_EQ(events, create.events);  // no architecture query, no second key
    ASSERT_EQ(1u, create.messages.size());
    EXPECT_EQ(std::make_pair(110u, 5L), create.messages[0]);
    EXPECT_EQ(std::vector<std::string>{"RegCreateKeyEx fail: result=0x00000005\n"}, create.lines);

    // What was written before a failed write stays; nothing after it.
    FakeTarget write;
    write.sixtyFour = true;
    write.setFails[std::string(kFirst) + "|Name"] = 0x3f2;
    EXPECT_FALSE(RunSave(write));
    std::vector<std::string> wevents = {"create SOFTWARE\\KEVO", "arch", "set SOFTWARE\\KEVO|Name",
                                        "close SOFTWARE\\KEVO"};
    EXPECT_EQ(wevents, write.events);
    EXPECT_EQ(std::vector<std::string>{"RegSetValueEx(Name) fail: result=0x000003f2\n"}, write.lines);
}

TEST(RWSettingSave, EmptyReaderOrNoKindWritesNothing)
{
    FakeTarget empty;
    empty.sixtyFour = true;
    empty.reader = "";
    EXPECT_FALSE(RunSave(empty));
    ASSERT_EQ(1u, empty.messages.size());
    EXPECT_EQ(111u, empty.messages[0].first);
    for (const std::string& e : empty.events)
        EXPECT_NE(0u, e.find("set ")) << e;
    EXPECT_EQ("close SOFTWARE\\KEVO", empty.events.back());

    FakeTarget none;
    none.kind = kKindNone;
    EXPECT_FALSE(RunSave(none));
    ASSERT_EQ(1u, none.messages.size());
    EXPECT_EQ(125u, none.messages[0].first);
}

TEST(RWSettingResources, StringsIconVersionAndManifest)
{
    HMODULE exe = LoadLibraryExW(kevotest::WinePath(KEVO_RWSETTING_EXE).c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe != NULL);
    const struct {
        UINT id;
        const wchar_t* text;
    } strings[] = {
        {57344, L"ICカードリーダライタ設定"},
        {109, L"ICカードリーダライタの設定が変更されました。"},
        {110, L"レジストリアクセスエラーが発生しました。(エラーコード: 0x%08x)"},
        {111, L"利用可能なPC/SCリーダライタがありません。"},
        {121, L"ICカードリーダライタ設定は既に起動しています。"},
        {125, L"リーダライタが選択されていません。"},
    };
    for (const auto& s : strings) {
        wchar_t buffer[256] = {};
        LoadStringW(exe, s.id, buffer, 256);
        EXPECT_STREQ(s.text, buffer) << s.id;
    }
    EXPECT_TRUE(FindResourceW(exe, MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14)) != NULL);
    EXPECT_TRUE(FindResourceW(exe, MAKEINTRESOURCEW(130), MAKEINTRESOURCEW(5)) != NULL);
    EXPECT_TRUE(FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)) != NULL);
    HRSRC manifest = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_TRUE(manifest != NULL);
    std::string text(static_cast<const char*>(LockResource(LoadResource(exe, manifest))),
                     SizeofResource(exe, manifest));
    EXPECT_NE(std::string::npos, text.find("level=\"asInvoker\""));
    EXPECT_NE(std::string::npos, text.find(">PerMonitorV2</dpiAwareness>"));
    FreeLibrary(exe);
}

namespace {

// Reader of an extended dialog template as the resource compiler laid it out.
class TemplateReader {
public:
    TemplateReader(const unsigned char* data, size_t size) : m_data(data), m_size(size), m_pos(0) {}
    bool Ok() const { return m_pos <= m_size; }
    unsigned Word()
    {
        unsigned v = m_pos + 2 <= m_size ? (unsigned)(m_data[m_pos] | (m_data[m_pos + 1] << 8)) : 0;
        m_pos += 2;
        return v;
    }
    unsigned long Dword()
    {
        unsigned long lo = Word();
        return lo | ((unsigned long)Word() << 16);
    }
    short Short() { return (short)Word(); }
    unsigned char Byte() { return m_pos < m_size ? m_data[m_pos++] : (m_pos++, 0); }
    std::wstring Text()
    {
        std::wstring s;
        for (unsigned c = Word(); c != 0 && Ok(); c = Word())
            s.push_back((wchar_t)c);
        return s;
    }
    // A name or an ordinal; ordinals come back as "#<n>".
    std::wstring NameOrOrdinal()
    {
        unsigned first = Word();
        if (first == 0)
            return std::wstring();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        std::wstring s(1, (wchar_t)first);
        for (unsigned c = Word(); c != 0 && Ok(); c = Word())
            s.push_back((wchar_t)c);
        return s;
    }
    void AlignDword() { m_pos = (m_pos + 3) & ~(size_t)3; }
    void Skip(size_t n) { m_pos += n; }

private:
    const unsigned char* m_data;
    size_t m_size;
    size_t m_pos;
};

// Predefined control classes by their ordinal or their name.
std::wstring ControlClass(const std::wstring& raw)
{
    static const std::map<std::wstring, std::wstring> ordinals = {
        {L"#128", L"button"}, {L"#130", L"static"}, {L"#133", L"combobox"}};
    auto found = ordinals.find(raw);
    if (found != ordinals.end())
        return found->second;
    std::wstring lower;
    for (wchar_t c : raw)
        lower.push_back((wchar_t)towlower(c));
    return lower;
}

}  // namespace

TEST(RWSettingResources, DialogTemplateControlsInTabOrder)
{
    HMODULE exe = LoadLibraryExW(kevotest::WinePath(KEVO_RWSETTING_EXE).c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe != NULL);
    HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(130), MAKEINTRESOURCEW(5));
    ASSERT_TRUE(found != NULL);
    TemplateReader t(static_cast<const unsigned char*>(LockResource(LoadResource(exe, found))),
                     SizeofResource(exe, found));
    ASSERT_EQ(1u, t.Word());
    ASSERT_EQ(0xFFFFu, t.Word());
    t.Dword();  // help id
    t.Dword();  // extended style
    unsigned long style = t.Dword();
    EXPECT_EQ((unsigned long)(DS_MODALFRAME | WS_CAPTION | WS_SYSMENU),
              style & (DS_MODALFRAME | WS_CAPTION | WS_SYSMENU));
    ASSERT_TRUE(style & DS_SETFONT);
    unsigned count = t.Word();
    t.Short();
    t.Short();
    EXPECT_EQ(243, t.Short());
    EXPECT_EQ(212, t.Short());
    EXPECT_EQ(L"", t.NameOrOrdinal());  // no menu
    EXPECT_EQ(L"", t.NameOrOrdinal());  // the standard dialog class
    EXPECT_EQ(L"ICカードリーダライタ設定", t.Text());
    EXPECT_EQ(9u, t.Word());
    t.Word();  // weight
    t.Byte();  // italic
    t.Byte();  // character set
    EXPECT_EQ(L"ＭＳ ゴシック", t.Text());

    const unsigned long kAnyRadio = 0x0F;  // the button-type bits
    const struct {
        int id;
        const wchar_t* cls;
        const wchar_t* text;
        short x, y, cx, cy;
        unsigned long required;  // style bits that must be set
        unsigned long absent;    // style bits that must be clear
        unsigned long typeMask;  // button or combo type bits compared exactly
    } expected[] = {
        {1011, L"static", L"使用するICカードリーダライタの種類を選択して下さい。", 17, 15, 209, 8, WS_GROUP, WS_TABSTOP, 0},
        // The radio group, closed by the reader list's label; the checked
        // radio button takes the group's tab stop at run time.
        {1018, L"button", L"ICカードリーダライタを自動検出する(&A)", 10, 33, 206, 17,
         WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 0, kAnyRadio},
        {1007, L"button", L"PC/SC対応(&P)", 10, 68, 60, 10, BS_AUTORADIOBUTTON, WS_TABSTOP | WS_GROUP, kAnyRadio},
        {1009, L"button", L"NMDA対応(&N)", 10, 119, 60, 10, BS_AUTORADIOBUTTON | BS_MULTILINE, WS_TABSTOP | WS_GROUP,
         kAnyRadio},
        {1012, L"static", L"ICカードリーダライタ名称(&R)", 24, 82, 109, 8, WS_GROUP, WS_TABSTOP, 0},
        {1015, L"combobox", L"", 24, 93, 202, 88, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP,
         WS_GROUP | CBS_NOINTEGRALHEIGHT, 0x3},
        {1013, L"static", L"ポート番号(&O)", 24, 133, 53, 8, WS_GROUP, WS_TABSTOP, 0},
        {1016, L"combobox", L"", 24, 144, 202, 88, CBS_DROPDOWNLIST | CBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
         CBS_SORT, 0x3},
        // Shown only when the machine's policy fixes the choice.
        {1020, L"static", L"この設定は管理者が決めているため、変更できません。", 10, 168, 226, 16, WS_GROUP,
         WS_TABSTOP | WS_VISIBLE, 0},
        {1, L"button", L"設定(&S)", 119, 191, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, kAnyRadio},
        {2, L"button", L"ｷｬﾝｾﾙ(&E)", 186, 191, 50, 14, BS_PUSHBUTTON | WS_TABSTOP, 0, kAnyRadio},
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], (size_t)count);
    for (const auto& e : expected) {
        t.AlignDword();
        t.Dword();  // help id
        t.Dword();  // extended style
        unsigned long s = t.Dword();
        short x = t.Short(), y = t.Short(), cx = t.Short(), cy = t.Short();
        int id = (int)t.Dword();
        std::wstring cls = ControlClass(t.NameOrOrdinal());
        std::wstring text = t.NameOrOrdinal();
        t.Skip(t.Word());  // creation data
        ASSERT_TRUE(t.Ok());
        EXPECT_EQ(e.id, id);
        EXPECT_EQ(e.cls, cls) << id;
        EXPECT_EQ(e.text, text) << id;
        EXPECT_EQ(e.x, x) << id;
        EXPECT_EQ(e.y, y) << id;
        EXPECT_EQ(e.cx, cx) << id;
        EXPECT_EQ(e.cy, cy) << id;
        EXPECT_EQ(e.required, s & e.required) << id << " style " << std::hex << s;
        EXPECT_EQ(0ul, s & e.absent) << id << " style " << std::hex << s;
        if (e.typeMask != 0) {
            EXPECT_EQ(e.required & e.typeMask, s & e.typeMask) << id << " style " << std::hex << s;
        }
        if (!(e.absent & WS_VISIBLE)) {
            EXPECT_TRUE(s & WS_VISIBLE) << id;
        }
    }
    FreeLibrary(exe);
}
