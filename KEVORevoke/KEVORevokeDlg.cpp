// The wizard's window side: fonts, colours, tooltips, the screen layouts and
// the buttons. What each screen shows comes from the table in WizardScreens;
// the steps themselves (card, request, send) live in their own modules.
#include "KEVORevokeDlg.h"

#include <cstdlib>

#include "CardContext.h"
#include "KEVORevokeRes.h"
#include "KevoApp.h"
#include "KevoHighContrast.h"
#include "KevoText.h"
#include "RevokeTexts.h"
#include "TraceLog.h"
#include "WizardColours.h"
#include "WizardScreens.h"

namespace {

// Chosen by its face with the Shift-JIS charset, so that a Windows of
// another language with the Japanese fonts installed draws it too.
const wchar_t kFontFace[] = L"ＭＳ ゴシック";
// Font sizes in points: the title, prompt and fields as large as the
// dialog's own 11-point text, the buttons' captions smaller.
const int kTextPoints = 11;
const int kButtonPoints = 9;
const int kFieldMargin = 2;  // left margin of the fields at 96 dpi

const char kSendQuestion[] =
    "本当に失効申請を送信してよろしいですか？\nこの操作は取り消しができませんのでご注意ください。";
const char kSendQuestionCaption[] = "KEVO オンライン失効申請機能";
const char kCancelQuestion[] = "本当に失効申請を中止してよろしいですか？\nOKを押すとアプリケーションを終了します。";

// The applicant table, in the order it is hidden: labels, edits, frames.
const int kTableControls[] = {
    IDC_STATIC_NAME, IDC_STATIC_GENDER, IDC_STATIC_BIRTH, IDC_STATIC_ADDRESS,
    IDC_EDIT_NAME, IDC_EDIT_GENDER, IDC_EDIT_BIRTH, IDC_EDIT_ADDRESS,
    IDC_FRAME_LEFT, IDC_FRAME_LABEL_DIVIDER, IDC_FRAME_BIRTH_LEFT, IDC_FRAME_BIRTH_RIGHT, IDC_FRAME_RIGHT,
    IDC_FRAME_TOP, IDC_FRAME_NAME_RULE, IDC_FRAME_GENDER_RULE, IDC_FRAME_ADDRESS_LABEL_RULE, IDC_FRAME_ADDRESS_RULE,
};
const int kDataEdits[] = {IDC_EDIT_NAME, IDC_EDIT_GENDER, IDC_EDIT_BIRTH, IDC_EDIT_ADDRESS};
const int kCyanStatics[] = {IDC_STATIC_PROMPT, IDC_STATIC_NAME, IDC_STATIC_GENDER, IDC_STATIC_ADDRESS,
                            IDC_STATIC_BIRTH};

bool IsOneOf(int id, const int* ids, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (ids[i] == id)
            return true;
    return false;
}

// The about box: icon, program name and version, OK.
class CAboutDlg : public kevoui::CKevoDialog {
public:
    explicit CAboutDlg(HWND parent) : CKevoDialog(IDD_ABOUTBOX, parent) {}
};

}  // namespace

CKEVORevokeDlg::CKEVORevokeDlg(HWND parent)
    : CKevoDialog(IDD_KEVOREVOKE_DIALOG, parent), m_nScreenNo(0), m_nRevokeResult(0), m_hIcon(NULL),
      m_highContrast(false)
{
    ZeroMemory(&binaryData, sizeof binaryData);
    ZeroMemory(m_szSendTime, sizeof m_szSendTime);
    ZeroMemory(&m_logFont, sizeof m_logFont);
    kevoui::CKevoApp* app = kevoui::CKevoApp::Current();
    HINSTANCE instance = (app != NULL && app->Instance() != NULL) ? app->Instance() : GetModuleHandleW(NULL);
    m_hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_KEVOREVOKE));
    // The wizard's own white and light cyan.
    m_whiteBrush.Reset(CreateSolidBrush((COLORREF)WizardPanelColours(kPanelField, false).background.rgb));
    m_cyanBrush.Reset(CreateSolidBrush((COLORREF)WizardPanelColours(kPanelBand, false).background.rgb));
}

CKEVORevokeDlg::~CKEVORevokeDlg()
{
    // Fonts and brushes go with their holders, the text buffers, the
    // request document, the counter client and the card object with theirs.
    free(binaryData.data);
    binaryData.data = NULL;
    binaryData.length = 0;
}

// ---- start-up ------------------------------------------------------------------

BOOL CKEVORevokeDlg::OnInitDialog()
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::OnInitDialog() start\n");
    CKevoDialog::OnInitDialog();

    kevoui::CKevoApp* app = kevoui::CKevoApp::Current();
    std::string about = app != NULL ? app->LoadText(IDS_ABOUTBOX) : std::string();
    HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE);
    if (systemMenu != NULL && !about.empty()) {
        AppendMenuW(systemMenu, MF_SEPARATOR, 0, NULL);
        AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, kevoui::FromCp932(about).c_str());
    }
    SetIcons(IDI_KEVOREVOKE);
    // The card's PIN prompt is modal to the wizard in the card and signature steps.
    cardcontext::SetPromptOwner(m_hWnd);
    // Enter presses the forward button wherever the focus is, never the
    // absent IDOK.
    SendMessageW(m_hWnd, DM_SETDEFID, IDC_BUTTON_OK, 0);

    m_highContrast = kevoui::IsHighContrast();
    setConfirmText();
    m_nScreenNo = kFirstScreen;
    doScreenChange(m_nScreenNo);
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::OnInitDialog() end\n");
    return TRUE;
}

void CKEVORevokeDlg::AssignFont(int points, LONG weight, const int* ids, size_t count)
{
    ZeroMemory(&m_logFont, sizeof m_logFont);
    m_logFont.lfWeight = weight;
    m_logFont.lfCharSet = SHIFTJIS_CHARSET;
    m_logFont.lfOutPrecision = OUT_DEFAULT_PRECIS;
    m_logFont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    m_logFont.lfQuality = DEFAULT_QUALITY;
    m_logFont.lfPitchAndFamily = DEFAULT_PITCH;
    lstrcpynW(m_logFont.lfFaceName, kFontFace, LF_FACESIZE);
    Dpi().SetFont(m_logFont, points, ids, count);
}

void CKEVORevokeDlg::setConfirmText()
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::setConfirmText() start\n");
    static const int title[] = {IDC_STATIC_TITLE};
    static const int prompt[] = {IDC_STATIC_PROMPT};
    AssignFont(kTextPoints, FW_BOLD, title, 1);
    AssignFont(kTextPoints, FW_BOLD, prompt, 1);
    AssignFont(kTextPoints, FW_NORMAL, kDataEdits, sizeof kDataEdits / sizeof kDataEdits[0]);
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::setConfirmText() end\n");
}

void CKEVORevokeDlg::setButtonFont()
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::setButtonFont() start\n");
    static const int buttons[] = {IDC_BUTTON_OK, IDC_BUTTON_CANCEL};
    AssignFont(kButtonPoints, FW_NORMAL, buttons, 2);
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::setButtonFont() end\n");
}

// ---- screens -------------------------------------------------------------------

void CKEVORevokeDlg::ShowControl(int id, bool show)
{
    ShowItem(id, show);
    EnableItem(id, show);
}

void CKEVORevokeDlg::FocusControl(int id)
{
    SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
}

kevoui::CKevoToolTip* CKEVORevokeDlg::ToolTip(int tip)
{
    // In the order of WizardTip.
    kevoui::CKevoToolTip* tips[kTipCount] = {&m_ToolTip1, &m_ToolTip4, &m_ToolTip5,
                                             &m_ToolTip2, &m_ToolTip3, &m_ToolTip6};
    return (tip >= 0 && tip < kTipCount) ? tips[tip] : NULL;
}

void CKEVORevokeDlg::ApplyButton(int id, const WizardButton& button)
{
    if (button.caption != NULL)
        SetDlgItemTextW(m_hWnd, id, kevoui::FromCp932(button.caption).c_str());
    kevoui::CKevoToolTip* tip = ToolTip(button.createdTip);
    if (tip != NULL && tip->Create(m_hWnd))
        tip->AddTool(Item(id), button.tipText);
}

void CKEVORevokeDlg::doHideControl()
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::doHideControl() start\n");
    for (size_t i = 0; i < sizeof kTableControls / sizeof kTableControls[0]; ++i)
        ShowControl(kTableControls[i], false);
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::doHideControl() end\n");
}

void CKEVORevokeDlg::ShowApplicantTable()
{
    for (size_t i = 0; i < sizeof kTableControls / sizeof kTableControls[0]; ++i)
        ShowControl(kTableControls[i], true);
}

void CKEVORevokeDlg::FillApplicantTable()
{
    SetDlgItemTextW(m_hWnd, IDC_EDIT_NAME, m_CardOBJ.m_strName.m_lpData ? m_CardOBJ.m_strName.m_lpData : L"");
    SetDlgItemTextW(m_hWnd, IDC_EDIT_GENDER, m_CardOBJ.m_strGender.m_lpData ? m_CardOBJ.m_strGender.m_lpData : L"");
    // The narrow form stays cached in the buffer.
    char* rendered = NULL;
    int code = dateOfBirthToString(m_CardOBJ.m_strBirth.GetAnsi(), &rendered);
    TraceLog(TRACE_LEVEL_FLOW, "dateOfBirthToString(%d)\n", code);
    if (code == 0 && rendered != NULL)
        SetDlgItemTextW(m_hWnd, IDC_EDIT_BIRTH, kevoui::FromCp932(rendered).c_str());
    free(rendered);
    SetDlgItemTextW(m_hWnd, IDC_EDIT_ADDRESS, m_CardOBJ.m_strAddress.m_lpData ? m_CardOBJ.m_strAddress.m_lpData : L"");
    SetFieldMargins();
}

void CKEVORevokeDlg::SetFieldMargins()
{
    for (size_t i = 0; i < sizeof kDataEdits / sizeof kDataEdits[0]; ++i)
        SendMessageW(Item(kDataEdits[i]), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                     MAKELONG(Dpi().Scale(kFieldMargin), 0));
}

void CKEVORevokeDlg::doScreenChange(short No)
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::doScreenChange start\n");
    const WizardScreen* screen = WizardScreenFor(No);
    if (screen == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "No:エラーが発生しました。(%d)(%s:%d)\n", No, TRACE_HERE);
        TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::doScreenChange end\n");
        return;
    }
    if (No == kVerdictScreen)
        ShowControl(IDC_BUTTON_OK, false);

    WizardAreas areas = screen->areas;
    if (areas == kAreasByVerdict)
        areas = VerdictFor(m_nRevokeResult).area == kVerdictShortArea ? kAreasKeep : kAreasLong;
    int explanationId = screen->explanationId;
    if (explanationId == 0)
        explanationId = areas == kAreasLong ? IDC_STATIC_EXPLAIN : IDC_STATIC_SHORTEXPLAIN;
    if (areas == kAreasLong) {
        ShowControl(IDC_STATIC_SHORTEXPLAIN, false);
        doHideControl();
        ShowControl(IDC_STATIC_EXPLAIN, true);
        ShowControl(IDC_STATIC_PROMPT, true);
    } else if (areas == kAreasShort) {
        ShowControl(IDC_STATIC_EXPLAIN, false);
        ShowControl(IDC_STATIC_SHORTEXPLAIN, true);
        ShowApplicantTable();
    }

    SetDlgItemTextW(m_hWnd, IDC_STATIC_SCREENNO, kevoui::FromCp932(screen->number).c_str());
    if (screen->explanation != NULL)
        SetDlgItemTextW(m_hWnd, explanationId, kevoui::FromCp932(screen->explanation).c_str());
    else
        SetDlgItemTextW(m_hWnd, explanationId, m_strResultMessage.m_lpData ? m_strResultMessage.m_lpData : L"");
    SetDlgItemTextW(m_hWnd, IDC_STATIC_PROMPT, kevoui::FromCp932(screen->prompt).c_str());
    ApplyButton(IDC_BUTTON_OK, screen->forward);
    ApplyButton(IDC_BUTTON_CANCEL, screen->end);

    if (No == kFirstScreen) {
        m_ToolTip1.Activate(true);
        m_ToolTip2.Activate(true);
        setButtonFont();
    } else if (No == kVerdictScreen) {
        // Enter now ends the program.
        FocusControl(IDC_BUTTON_CANCEL);
        SendMessageW(m_hWnd, DM_SETDEFID, IDC_BUTTON_CANCEL, 0);
    } else {
        if (No == 3)
            FillApplicantTable();
        FocusControl(IDC_BUTTON_OK);
    }
    InvalidateRect(m_hWnd, NULL, FALSE);
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::doScreenChange end\n");
}

// ---- buttons -------------------------------------------------------------------

namespace {

// The card, signature and network steps run on this thread under the wait
// cursor; the error box that may follow comes after it has gone.
template <typename Step>
int RunWaiting(kevoui::CKevoDialog& dialog, Step step)
{
    kevoui::CKevoDialog::CWaitScope wait(dialog);
    return step();
}

}  // namespace

bool CKEVORevokeDlg::OnCommand(WORD id, WORD code, HWND control)
{
    if (code == BN_CLICKED && id == IDC_BUTTON_OK) {
        OnBnClickedOk();
        return true;
    }
    if (code == BN_CLICKED && id == IDC_BUTTON_CANCEL) {
        OnBnClickedCancel();
        return true;
    }
    // IDOK and IDCANCEL (Escape) keep the plain dialog handling: Escape
    // ends at once, without the cancel question.
    return CKevoDialog::OnCommand(id, code, control);
}

void CKEVORevokeDlg::OnBnClickedOk()
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::OnBnClickedOk() start\n");
    int code = 0;
    switch (m_nScreenNo) {
    case 1:
        break;
    case 2:
        code = RunWaiting(*this, [this] { return getInfoFromCard(); });
        if (code != 0) {
            showErrorDlg(code);
            TraceLog(TRACE_LEVEL_ERROR, "getInfoFromCard:エラーが発生しました。(%d)(%s:%d)\n", code, TRACE_HERE);
        }
        break;
    case 3:
        code = RunWaiting(*this, [this] { return makeXML(); });
        if (code != 0) {
            showErrorDlg(code);
            TraceLog(TRACE_LEVEL_ERROR, "makeXML:エラーが発生しました。(%d)(%s:%d)\n", code, TRACE_HERE);
        }
        break;
    case kSendScreen:
        if (MessageBoxW(m_hWnd, kevoui::FromCp932(kSendQuestion).c_str(), kevoui::FromCp932(kSendQuestionCaption).c_str(),
                        MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK) {
            TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::OnBnClickedOk() end\n");
            return;
        }
        RunWaiting(*this, [this] { doRevoke(); return 0; });
        break;
    default:
        break;
    }
    short next = NextWizardScreen(m_nScreenNo, code);
    if (next != m_nScreenNo) {
        m_nScreenNo = next;
        doScreenChange(m_nScreenNo);
    }
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::OnBnClickedOk() end\n");
}

void CKEVORevokeDlg::OnBnClickedCancel()
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::OnBnClickedCancel() start\n");
    if (m_nScreenNo == kVerdictScreen ||
        MessageBoxW(m_hWnd, kevoui::FromCp932(kCancelQuestion).c_str(), kevoui::FromCp932(kErrorBoxCaption).c_str(),
                    MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK)
        EndDialog(IDCANCEL);
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::OnBnClickedCancel() end\n");
}

int CKEVORevokeDlg::getInfoFromCard()
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::getInfoFromCard() start\n");
    FixJapanLocaleAndZone();
    // A repeated step replaces the certificate an earlier attempt read.
    int code = m_CardOBJ.GetCardData(&binaryData);
    if (code != 0)
        TraceLog(TRACE_LEVEL_ERROR, "m_CardOBJ.GetCardData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::getInfoFromCard() end\n");
    return code;
}

int CKEVORevokeDlg::makeXML()
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::makeXML() start\n");
    int code = m_HttpOBJ.setSettingInfo();
    TraceLog(TRACE_LEVEL_FLOW, "setSettingInfo(%d)\n", code);
    if (code != 0) {
        TraceLog(TRACE_LEVEL_ERROR, "setSettingInfo:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
    } else {
        code = m_HttpOBJ.getServerDate(&m_strServerDate, &m_HttpOBJ.m_SettingInfo);
        TraceLog(TRACE_LEVEL_FLOW, "getServerDate(%d)\n", code);
        if (code != 0) {
            TraceLog(TRACE_LEVEL_ERROR, "getServerDate:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        } else {
            code = m_XmlOBJ.MakeXML(&m_CardOBJ, &binaryData, m_strServerDate.m_lpData);
            if (code != 0)
                TraceLog(TRACE_LEVEL_ERROR, "MakeXML:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
            TraceLog(TRACE_LEVEL_FLOW, "MakeXML(%d)\n", code);
        }
    }
    TraceLog(TRACE_LEVEL_FLOW, "CKEVORevokeDlg::makeXML() end\n");
    return code;
}

// ---- framework hooks -----------------------------------------------------------

bool CKEVORevokeDlg::OnSysCommand(WPARAM command, LPARAM position)
{
    (void)position;
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(m_hWnd);
        about.DoModal();
        return true;
    }
    if ((command & 0xFFF0) == SC_CLOSE) {
        // The close box and Alt+F4 ask the same question as the end button.
        OnBnClickedCancel();
        return true;
    }
    return false;
}

bool CKEVORevokeDlg::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_MOUSEMOVE) {
        const WizardScreen* screen = WizardScreenFor(m_nScreenNo);
        kevoui::CKevoToolTip* tip = NULL;
        if (screen != NULL && msg->hwnd == Item(IDC_BUTTON_OK))
            tip = ToolTip(screen->forward.relayTip);
        else if (screen != NULL && msg->hwnd == Item(IDC_BUTTON_CANCEL))
            tip = ToolTip(screen->end.relayTip);
        if (tip != NULL)
            tip->RelayEvent(msg);
    }
    return CKevoDialog::PreTranslateMessage(msg);
}

HBRUSH CKEVORevokeDlg::OnCtlColor(HDC dc, HWND control, UINT message)
{
    HBRUSH brush = CKevoDialog::OnCtlColor(dc, control, message);
    if (message != WM_CTLCOLORSTATIC)
        return brush;
    int id = GetDlgCtrlID(control);
    // Read-only edits ask with the static request.
    WizardPanel panel;
    if (IsOneOf(id, kCyanStatics, sizeof kCyanStatics / sizeof kCyanStatics[0]))
        panel = kPanelBand;
    else if (IsOneOf(id, kDataEdits, sizeof kDataEdits / sizeof kDataEdits[0]))
        panel = kPanelField;
    else
        return brush;
    PanelColours colours = WizardPanelColours(panel, m_highContrast);
    SetTextColor(dc, colours.text.system ? GetSysColor(colours.text.systemIndex) : (COLORREF)colours.text.rgb);
    if (colours.background.system) {
        SetBkColor(dc, GetSysColor(colours.background.systemIndex));
        return GetSysColorBrush(colours.background.systemIndex);
    }
    SetBkColor(dc, (COLORREF)colours.background.rgb);
    return panel == kPanelBand ? m_cyanBrush.Brush() : m_whiteBrush.Brush();
}

void CKEVORevokeDlg::OnDpiChanged()
{
    SetFieldMargins();
}

void CKEVORevokeDlg::OnSystemColoursChanged()
{
    m_highContrast = kevoui::IsHighContrast();
    InvalidateRect(m_hWnd, NULL, TRUE);
}

bool CKEVORevokeDlg::OnPaint()
{
    if (!IsIconic(m_hWnd))
        return false;
    // Minimised: the icon centred in the client area.
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    int cx = GetSystemMetrics(SM_CXICON);
    int cy = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    DrawIcon(dc, (rect.right - rect.left - cx + 1) / 2, (rect.bottom - rect.top - cy + 1) / 2, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return true;
}

HICON CKEVORevokeDlg::OnQueryDragIcon() { return m_hIcon; }
