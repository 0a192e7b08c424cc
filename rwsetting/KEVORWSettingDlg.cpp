#include "KEVORWSettingDlg.h"

#include <winscard.h>

#include <vector>

#include "KEVORWSetting.h"
#include "KEVORWSettingRes.h"
#include "KevoApp.h"
#include "KevoPolicy.h"
#include "TraceLog.h"

using rwsetting::ReaderKind;

namespace {

const char kKevoKey[] = "SOFTWARE\\KEVO";
const REGSAM kSaveAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
const DWORD kNameBufferSize = 128;
const DWORD kPortBufferSize = 7;

// Owns an open registry key.
class CRegKey {
public:
    CRegKey() : m_hKey(NULL) {}
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;
    void Close()
    {
        if (m_hKey != NULL) {
            RegCloseKey(m_hKey);
            m_hKey = NULL;
        }
    }
    LONG OpenRead(HKEY root, const char* path)
    {
        Close();
        LONG rc = RegOpenKeyExA(root, path, 0, KEY_READ, &m_hKey);
        if (rc != ERROR_SUCCESS)
            m_hKey = NULL;
        return rc;
    }
    HKEY Get() const { return m_hKey; }

private:
    HKEY m_hKey;
};

// Reads a string value into a zero-filled buffer of the given size; a value
// that fills the buffer without its terminator counts as not fitting.
LONG QueryFixedString(HKEY key, const char* name, DWORD bufferSize, std::string& text)
{
    std::vector<char> buffer(bufferSize, '\0');
    DWORD size = bufferSize;
    LONG rc = RegQueryValueExA(key, name, NULL, NULL, reinterpret_cast<BYTE*>(&buffer[0]), &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (!rwsetting::TerminatedText(&buffer[0], bufferSize, text))
        return ERROR_MORE_DATA;
    return ERROR_SUCCESS;
}

typedef void(WINAPI* GetNativeSystemInfoFn)(LPSYSTEM_INFO);

}  // namespace

CKEVORWSettingDlg::CKEVORWSettingDlg(HWND parent) : CKevoDialog(IDD_KEVORWSETTING_DIALOG, parent), m_hSaveKey(NULL), m_bFixedByPolicy(false)
{
}

BOOL CKEVORWSettingDlg::OnInitDialog()
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "CKEVORWSettingDlg::OnInitDialog");
    CKevoDialog::OnInitDialog();  // fills the port list
    SetIcons(IDI_KEVORWSETTING);
    CreateToolTips();

    FillReaderList();

    unsigned long rwType = 0;
    std::string name;
    std::string port;
    ReadCurrentSetting(rwType, name, port);
    m_bFixedByPolicy = ReadPolicySetting(rwType, name, port);

    ReaderKind kind = rwsetting::KindFromRWType(rwType);
    int radio = kind == rwsetting::kKindPcsc ? IDC_RADIO_PCSC
                                             : (kind == rwsetting::kKindNmda ? IDC_RADIO_NMDA : IDC_RADIO_AUTO);
    CheckDlgButton(m_hWnd, radio, BST_CHECKED);
    ApplyControlStates(kind);

    SelectByText(IDC_COMBO_READER, name, true);
    SelectByText(IDC_COMBO_PORT, port, false);
    if (m_bFixedByPolicy)
        ShowFixedByPolicy();

    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "CKEVORWSettingDlg::OnInitDialog");
    return m_bFixedByPolicy ? FALSE : TRUE;  // the fixed dialog has set its focus
}

void CKEVORWSettingDlg::CreateToolTips()
{
    static const struct {
        int id;
        const char* text;
    } tools[] = {
        {IDC_RADIO_AUTO, "ICカードリーダライタを自動検出する"},
        {IDC_RADIO_PCSC, "PC/SC対応"},
        {IDC_COMBO_READER, "ICカードリーダライタ名称"},
        {IDC_RADIO_NMDA, "NMDA対応"},
        {IDC_COMBO_PORT, "ポート番号"},
        {IDOK, "設定"},
        {IDCANCEL, "キャンセル"},
    };
    if (!m_ToolTip.Create(m_hWnd))
        return;
    for (size_t i = 0; i < sizeof tools / sizeof tools[0]; ++i)
        m_ToolTip.AddTool(Item(tools[i].id), tools[i].text);
    m_ToolTip.Activate(true);
}

void CKEVORWSettingDlg::FillReaderList()
{
    SCARDCONTEXT context = 0;
    LONG rc = SCardEstablishContext(SCARD_SCOPE_USER, NULL, NULL, &context);
    if (rc != SCARD_S_SUCCESS) {
        TraceLog(TRACE_LEVEL_ERROR, "SCardEstablishContext fail: result=0x%08x\n", (unsigned)rc);
        return;
    }
    char* readers = NULL;
    DWORD length = SCARD_AUTOALLOCATE;
    rc = SCardListReadersA(context, NULL, reinterpret_cast<char*>(&readers), &length);
    if (rc != SCARD_S_SUCCESS) {
        TraceLog(TRACE_LEVEL_ERROR, "SCardListReaders fail: result=0x%08x\n", (unsigned)rc);
    } else {
        std::vector<std::string> names = rwsetting::SplitMultiString(readers, length);
        for (size_t i = 0; i < names.size(); ++i)
            SendDlgItemMessageA(m_hWnd, IDC_COMBO_READER, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(names[i].c_str()));
    }
    if (readers != NULL)
        SCardFreeMemory(context, readers);
    SCardReleaseContext(context);
}

void CKEVORWSettingDlg::ReadCurrentSetting(unsigned long& rwType, std::string& name, std::string& port)
{
    rwType = 0;
    name.clear();
    port.clear();
    CRegKey key;
    LONG rc = key.OpenRead(HKEY_CURRENT_USER, kKevoKey);
    if (rc != ERROR_SUCCESS) {
        TraceLog(TRACE_LEVEL_ERROR, "RegOpenKeyEx fail: result=0x%08x\n", (unsigned)rc);
        return;
    }
    // Zero-filled, so that a shorter value of another type reads as a small number.
    BYTE value[4] = {0, 0, 0, 0};
    DWORD size = sizeof value;
    rc = RegQueryValueExA(key.Get(), "RWType", NULL, NULL, value, &size);
    if (rc != ERROR_SUCCESS)
        TraceLog(TRACE_LEVEL_ERROR, "RegQueryValueEx(RWType) fail: result=0x%08x\n", (unsigned)rc);
    else
        rwType = (unsigned long)value[0] | ((unsigned long)value[1] << 8) | ((unsigned long)value[2] << 16) |
                 ((unsigned long)value[3] << 24);

    std::string text;
    rc = QueryFixedString(key.Get(), "Name", kNameBufferSize, text);
    if (rc != ERROR_SUCCESS)
        TraceLog(TRACE_LEVEL_ERROR, "RegQueryValueEx(Name) fail: result=0x%08x\n", (unsigned)rc);
    else
        name = text;

    rc = QueryFixedString(key.Get(), "Port", kPortBufferSize, text);
    if (rc != ERROR_SUCCESS)
        TraceLog(TRACE_LEVEL_ERROR, "RegQueryValueEx(Port) fail: result=0x%08x\n", (unsigned)rc);
    else
        port = text;
}

// Each value the policy sets replaces the user's; any of them fixes the choice.
bool CKEVORWSettingDlg::ReadPolicySetting(unsigned long& rwType, std::string& name, std::string& port)
{
    bool fixed = false;
    DWORD type = 0;
    if (kevopolicy::ReadDword(KEVO_POLICY_RW_TYPE, &type)) {
        rwType = type;
        fixed = true;
    }
    char text[kNameBufferSize];
    if (kevopolicy::ReadText(KEVO_POLICY_RW_NAME, text, kNameBufferSize)) {
        name = text;
        fixed = true;
    }
    if (kevopolicy::ReadText(KEVO_POLICY_RW_PORT, text, kPortBufferSize)) {
        port = text;
        fixed = true;
    }
    if (fixed)
        TraceLog(TRACE_LEVEL_FLOW, "RWType/Name/Port: policy\n");
    return fixed;
}

void CKEVORWSettingDlg::ShowFixedByPolicy()
{
    static const int controls[] = {IDC_RADIO_AUTO, IDC_RADIO_PCSC, IDC_RADIO_NMDA, IDC_STATIC_READER,
                                   IDC_COMBO_READER, IDC_STATIC_PORT, IDC_COMBO_PORT, IDOK};
    for (size_t i = 0; i < sizeof controls / sizeof controls[0]; ++i)
        EnableItem(controls[i], false);
    ShowWindow(Item(IDC_STATIC_POLICY), SW_SHOWNA);
    // With Save disabled, Cancel is what Enter and the first Tab reach.
    SendMessageW(m_hWnd, DM_SETDEFID, IDCANCEL, 0);
    SetFocus(Item(IDCANCEL));
}

void CKEVORWSettingDlg::ApplyControlStates(ReaderKind kind)
{
    rwsetting::ControlStates states = rwsetting::ControlStatesFor(kind);
    EnableItem(IDC_COMBO_READER, states.readerList);
    EnableItem(IDC_STATIC_READER, states.readerList);
    EnableItem(IDC_COMBO_PORT, states.portList);
    EnableItem(IDC_STATIC_PORT, states.portList);
    // Tab enters the radio group at the checked button, as in every
    // Windows dialog; the arrows move within the group.
    static const int radios[] = {IDC_RADIO_AUTO, IDC_RADIO_PCSC, IDC_RADIO_NMDA};
    for (size_t i = 0; i < sizeof radios / sizeof radios[0]; ++i) {
        HWND radio = Item(radios[i]);
        LONG_PTR style = GetWindowLongPtrW(radio, GWL_STYLE);
        bool checked = IsDlgButtonChecked(m_hWnd, radios[i]) == BST_CHECKED;
        SetWindowLongPtrW(radio, GWL_STYLE, checked ? (style | WS_TABSTOP) : (style & ~(LONG_PTR)WS_TABSTOP));
    }
}

void CKEVORWSettingDlg::SelectByText(int comboId, const std::string& text, bool insertWhenMissing)
{
    LRESULT found = SendDlgItemMessageA(m_hWnd, comboId, CB_FINDSTRINGEXACT, (WPARAM)-1,
                                        reinterpret_cast<LPARAM>(text.c_str()));
    if (found != CB_ERR) {
        SendDlgItemMessageA(m_hWnd, comboId, CB_SETCURSEL, (WPARAM)found, 0);
        return;
    }
    if (insertWhenMissing && !text.empty())
        SendDlgItemMessageA(m_hWnd, comboId, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendDlgItemMessageA(m_hWnd, comboId, CB_SETCURSEL, 0, 0);
}

bool CKEVORWSettingDlg::OnCommand(WORD id, WORD code, HWND control)
{
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_RADIO_AUTO:
            ApplyControlStates(rwsetting::kKindAuto);
            return true;
        case IDC_RADIO_PCSC:
            ApplyControlStates(rwsetting::kKindPcsc);
            return true;
        case IDC_RADIO_NMDA:
            ApplyControlStates(rwsetting::kKindNmda);
            return true;
        default:
            break;
        }
    }
    return CKevoDialog::OnCommand(id, code, control);
}

bool CKEVORWSettingDlg::PreTranslateMessage(MSG* msg)
{
    m_ToolTip.RelayEvent(msg);
    return CKevoDialog::PreTranslateMessage(msg);
}

ReaderKind CKEVORWSettingDlg::SelectedKind()
{
    if (IsDlgButtonChecked(m_hWnd, IDC_RADIO_PCSC) == BST_CHECKED)
        return rwsetting::kKindPcsc;
    if (IsDlgButtonChecked(m_hWnd, IDC_RADIO_NMDA) == BST_CHECKED)
        return rwsetting::kKindNmda;
    if (IsDlgButtonChecked(m_hWnd, IDC_RADIO_AUTO) == BST_CHECKED)
        return rwsetting::kKindAuto;
    return rwsetting::kKindNone;
}

// The lists' texts are no texts of ours: the service's reader names and the
// stored values go from the narrow reader list and registry to the middleware,
// which reads them with the narrow functions too. So they stay in the
// system's code page end to end, and the stored bytes are what the
// middleware of that system expects.
std::string CKEVORWSettingDlg::ShownText(int comboId) const
{
    HWND combo = Item(comboId);
    int length = GetWindowTextLengthA(combo);
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(length + 1, '\0');
    int got = GetWindowTextA(combo, &buffer[0], length + 1);
    return std::string(&buffer[0], got > 0 ? got : 0);
}

long CKEVORWSettingDlg::CreateKey(const char* path)
{
    CloseKey();
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, REG_OPTION_NON_VOLATILE, kSaveAccess, NULL,
                              &m_hSaveKey, &disposition);
    if (rc != ERROR_SUCCESS)
        m_hSaveKey = NULL;
    return rc;
}

void CKEVORWSettingDlg::CloseKey()
{
    if (m_hSaveKey != NULL) {
        RegCloseKey(m_hSaveKey);
        m_hSaveKey = NULL;
    }
}

long CKEVORWSettingDlg::SetValue(const rwsetting::RegWrite& value)
{
    if (m_hSaveKey == NULL)
        return ERROR_INVALID_HANDLE;
    return RegSetValueExA(m_hSaveKey, value.name.c_str(), 0, value.type,
                          reinterpret_cast<const BYTE*>(value.bytes.data()), (DWORD)value.bytes.size());
}

bool CKEVORWSettingDlg::IsSixtyFourBitWindows()
{
    SYSTEM_INFO info = {};
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Looked up at run time: older systems lack it.
    GetNativeSystemInfoFn getNative =
        kernel != NULL ? reinterpret_cast<GetNativeSystemInfoFn>(
                             reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetNativeSystemInfo")))
                       : NULL;
    if (getNative != NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "GetNativeSystemInfo\n");
        getNative(&info);
    } else {
        TraceLog(TRACE_LEVEL_ERROR, "GetSystemInfo\n");
        GetSystemInfo(&info);
    }
    bool wide = rwsetting::IsAmd64Architecture(info.wProcessorArchitecture);
    TraceLog(TRACE_LEVEL_ERROR, wide ? "64bitOS\n" : "32bitOS\n");
    return wide;
}

void CKEVORWSettingDlg::TraceError(const std::string& line)
{
    TraceLog(TRACE_LEVEL_ERROR, "%s", line.c_str());
}

void CKEVORWSettingDlg::ShowMessage(unsigned id, long code)
{
    if (id == IDS_REGISTRY_ERROR)
        theApp.ShowMessage(m_hWnd, kevoui::FormatText(theApp.LoadText(IDS_REGISTRY_ERROR).c_str(), (unsigned)code),
                           MB_OK | MB_ICONEXCLAMATION);
    else
        theApp.ShowMessage(m_hWnd, id, MB_OK | MB_ICONEXCLAMATION);
}

void CKEVORWSettingDlg::OnOK()
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "CKEVORWSettingDlg::OnOK");
    if (m_bFixedByPolicy) {
        TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "CKEVORWSettingDlg::OnOK");
        return;
    }
    bool saved = rwsetting::RunSave(*this);
    if (saved) {
        theApp.ShowMessage(m_hWnd, IDS_SETTING_CHANGED, MB_OK | MB_ICONINFORMATION);
        EndDialog(IDOK);
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "CKEVORWSettingDlg::OnOK");
}
