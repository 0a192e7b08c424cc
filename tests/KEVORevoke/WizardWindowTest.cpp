// The revocation wizard through its real window under Wine, driven as a
// citizen drives it, against the software card, the real service library
// over the JNI emulation and the testbed counter. One run per behaviour a
// citizen can see; the decision tables behind the texts have their own
// unit tests.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <memory>

#include "JvmEmuReport.h"
#include "WizardRun.h"

using namespace kevotest;
using namespace wizardtest;

namespace {

const wchar_t kScreen1Text[] =
    L"この機能を使用すると、ご自身の電子証明書の失効申請を行うことができます。\n\n\n"
    L"失効申請を行うと、電子証明書は失効し電子申請等に利用できなくなります。\n"
    L"ICカードを紛失した場合や、ICカードが破損した場合は、オンラインの申請はできま\n"
    L"せんので、速やかにお住まいの市区町村の窓口に届出を行ってください。";
const wchar_t kScreen2Text[] =
    L"ICカードから申請に必要な情報（氏名、性別、生年月日、住所）を読み出し、失効申\n"
    L"請書を作成します。\n\n"
    L"電子証明書の失効申請を行うためには、KEVOの電子証明書が格納さ\n"
    L"れたご自身のICカードが必要です。また、パソコンにICカードリーダライタが接続さ\n"
    L"れている必要があります。";
const wchar_t kScreen3Text[] =
    L"次の電子証明書の失効申請を作成しました。\n"
    L"内容を確認し誤りがなければ、ご自身のICカードに格納された秘密鍵により電子署名\n"
    L"を作成します。";
const wchar_t kScreen4Text[] = L"電子署名を作成しました。\n送信ボタンを押すと失効申請をオンライン窓口に送信します。";
const wchar_t kAccepted[] =
    L"オンライン窓口で電子証明書の失効申請が受理されました。失効した電子証明書は電\n"
    L"子申請等に使用できませんのでご注意ください。";
const wchar_t kCommonTail[] =
    L"\n\nオンライン窓口サービスで不具合が発生したため、処理を継続することができません\nでした。\n"
    L"申し訳ございませんが、しばらく経ってから失効申請をはじめからやり直してくださ\nい。\n\n送信時刻:";
const wchar_t kSendQuestion[] =
    L"本当に失効申請を送信してよろしいですか？\nこの操作は取り消しができませんのでご注意ください。";
const wchar_t kCancelQuestion[] = L"本当に失効申請を中止してよろしいですか？\nOKを押すとアプリケーションを終了します。";

struct ScreenTexts {
    int number;
    const wchar_t* prompt;
    const wchar_t* forward;
    const wchar_t* end;
    const wchar_t* forwardTip;
    const wchar_t* endTip;
};
const ScreenTexts kScreens[] = {
    {1, L"\n     失効申請を行いますか？", L"&OK", L"終了(&E)", L"OKボタン", L"終了ボタン"},
    {2, L"\n     ICカードをリーダライタにセットしてください。", L"&OK", L"申請中止(&C)", L"OKボタン", L"申請中止ボタン"},
    {3, L"\n     電子署名を作成しますか？", L"電子署名(&S)", L"申請中止(&C)", L"電子署名ボタン", L"申請中止ボタン"},
    {4, L"\n     失効申請を送信しますか？", L"送信(&S)", L"申請中止(&C)", L"送信ボタン", L"申請中止ボタン"},
    {5, L"\n     オンライン失効申請機能を終了します。", NULL, L"終了(&E)", NULL, L"終了ボタン"},
};

// A calendar minute as a time value (fields out of range are normalised).
time_t MinuteOf(int year, int month, int day, int hour, int minute)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return mktime(&t);
}

std::wstring Number(int screen) { return L"画面番号 0" + std::to_wstring(screen); }

void ExpectFrame(const ScreenView& v, int screen)
{
    const ScreenTexts& t = kScreens[screen - 1];
    EXPECT_EQ(Number(screen), v.number);
    EXPECT_EQ(t.prompt, v.prompt) << "screen " << screen;
    if (t.forward != NULL) {
        EXPECT_EQ(t.forward, v.forward) << "screen " << screen;
    }
    EXPECT_EQ(t.forward != NULL, v.forwardVisible) << "screen " << screen;
    EXPECT_EQ(t.end, v.end) << "screen " << screen;
}

// The explanation in its area, the other area hidden, the table as given.
void ExpectExplanation(const ScreenView& v, const std::wstring& text, bool shortArea, bool table)
{
    EXPECT_EQ(text, shortArea ? v.shortExplain : v.explain);
    EXPECT_EQ(shortArea, v.shortVisible);
    EXPECT_EQ(!shortArea, v.explainVisible);
    EXPECT_EQ(table, v.tableVisible);
}

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetKevoRegistry();
        ResetCounter();
        SetCardSwitches(0, 0, kNoPinPrompt);
        options_ = BuildTreeOptions(L"wizard");
    }
    void TearDown() override
    {
        SetCardSwitches(0, 0, kNoPinPrompt);
        run_.reset();
        RemoveTree(options_.workDir);
        ResetKevoRegistry();
    }
    // A started run; the test fails when screen 01 did not appear.
    WizardRun& Start()
    {
        run_.reset(new WizardRun(options_));
        EXPECT_TRUE(run_->Start()) << "no wizard on screen 01";
        return *run_;
    }
    // Forward through screens 1 to 4 without failures (no PIN prompt).
    void ForwardTo(WizardRun& run, int screen)
    {
        for (int from = run.ScreenNumber(); from < screen; ++from) {
            run.Forward();
            if (from == 4)
                run.Answer(run.WaitForBox(), IDOK);
            ASSERT_TRUE(run.WaitForScreen(from + 1)) << "stuck on screen " << from;
        }
    }
    RunOptions options_;
    std::unique_ptr<WizardRun> run_;
};

// The whole road: each screen's texts, captions and areas, the PIN typed at
// signing, the send confirmation, the verdict, the request as the counter
// verified it, Enter on screen 05, and the trace log of the run at level 10.
// (The template itself is checked byte for byte by wizard_resources_test.)
TEST_F(WizardTest, HappyPathFromScreen01To05WithTheRequestVerifiedByTheCounter)
{
    options_.traceLevel = 10;
    WizardRun& run = Start();
    ASSERT_TRUE(run.Dialog() != NULL);
    HWND dialog = run.Dialog();

    EXPECT_EQ(L"KEVO   オンライン失効申請機能", ItemText(dialog, kTitle));
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, kEditName), GWL_STYLE) & ES_READONLY);

    ScreenView v = run.Screen();
    ExpectFrame(v, 1);
    ExpectExplanation(v, kScreen1Text, false, false);

    run.Forward();
    ASSERT_TRUE(run.WaitForScreen(2));
    v = run.Screen();
    ExpectFrame(v, 2);
    ExpectExplanation(v, kScreen2Text, false, false);

    // The card asks for its PIN when it signs.
    SetCardSwitches(0, 0, kPinAtSigning);
    run.Forward();
    ASSERT_TRUE(run.WaitForScreen(3));
    v = run.Screen();
    ExpectFrame(v, 3);
    ExpectExplanation(v, kScreen3Text, true, true);
    EXPECT_EQ(options_.applicant.name, v.name);
    EXPECT_EQ(L"女", v.gender);
    EXPECT_EQ(L"昭和50年4月15日", v.birth);
    EXPECT_EQ(options_.applicant.address, v.address);

    run.Forward();
    HWND pin = run.WaitForPin();
    ASSERT_TRUE(pin != NULL) << "no PIN prompt at signing";
    // The card's prompt is modal to the wizard, as the wizard gave it the
    // provider: never behind it with the wizard still enabled.
    EXPECT_EQ(dialog, GetWindow(pin, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(dialog));
    ASSERT_TRUE(EnterPin(pin, L"1234", 10000));
    ASSERT_TRUE(run.WaitForScreen(4));
    v = run.Screen();
    ExpectFrame(v, 4);
    ExpectExplanation(v, kScreen4Text, true, true);
    EXPECT_EQ(0, CounterRequests());

    run.Forward();
    HWND question = run.WaitForBox();
    ASSERT_TRUE(question != NULL);
    EXPECT_EQ(kSendCaption, WindowText(question));
    EXPECT_EQ(kSendQuestion, run.Answer(question, IDOK));
    ASSERT_TRUE(run.WaitForScreen(5));
    v = run.Screen();
    ExpectFrame(v, 5);
    ExpectExplanation(v, kAccepted, true, true);

    // The counter verified digest and signature, and the name arrived in UTF-8.
    EXPECT_NE(std::string::npos, CounterVerdictJson().find("\"accepted\"")) << CounterVerdictJson();
    EXPECT_NE(std::string::npos, CounterDocument().find(Utf8(options_.applicant.name)));

    // Enter ends the program on the last screen.
    PressKey(dialog, VK_RETURN);
    EXPECT_TRUE(run.WaitForExit());
    // The service library used only what the JNI emulation implements and
    // released every reference it made.
    EXPECT_TRUE(jvmemu::Problems(run.Traps()).empty()) << run.Traps();

    // The flow's lines in order, stamped with Japan time.
    std::string log = run.Log();
    const char* flow[] = {
        "CKEVORevokeDlg::OnInitDialog() start\r\n", "CKEVORevokeDlg::setConfirmText() start\r\n",
        "CKEVORevokeDlg::doScreenChange start\r\n", "CKEVORevokeDlg::doHideControl() start\r\n",
        "CKEVORevokeDlg::setButtonFont() start\r\n", "CKEVORevokeDlg::doScreenChange end\r\n",
        "CKEVORevokeDlg::OnInitDialog() end\r\n",   "CKEVORevokeDlg::OnBnClickedOk() start\r\n",
        "CKEVORevokeDlg::doScreenChange start\r\n", "CKEVORevokeDlg::OnBnClickedOk() end\r\n",
        "CKEVORevokeDlg::getInfoFromCard() start\r\n", "CKEVORevokeDlg::getInfoFromCard() end\r\n",
        "CKEVORevokeDlg::dateOfBirthToString() start\r\n", "dateOfBirthToString(0)\r\n",
        "CKEVORevokeDlg::makeXML() start\r\n",      "setSettingInfo(0)\r\n",
        "getServerDate(0)\r\n",                     "MakeXML(0)\r\n",
        "CKEVORevokeDlg::makeXML() end\r\n",        "CKEVORevokeDlg::doRevoke() start\r\n",
        "CKEVORevokeDlg::doRevoke() end\r\n",       "CKEVORevokeDlg::doScreenChange start\r\n",
        "CKEVORevokeDlg::OnBnClickedOk() end\r\n",
    };
    size_t at = 0;
    for (const char* line : flow) {
        size_t found = log.find(line, at);
        ASSERT_NE(std::string::npos, found) << "missing after offset " << at << ": " << line;
        at = found + strlen(line);
    }
    EXPECT_EQ(std::string::npos, log.find("エラー"));
    // "YYYY/MM/DD hh:mm" of the first line against the UTC clock plus nine hours.
    ASSERT_GE(log.size(), 16u);
    SYSTEMTIME now;
    GetSystemTime(&now);
    double apart = difftime(MinuteOf(now.wYear, now.wMonth, now.wDay, now.wHour + 9, now.wMinute),
                            MinuteOf(atoi(log.substr(0, 4).c_str()), atoi(log.substr(5, 2).c_str()),
                                     atoi(log.substr(8, 2).c_str()), atoi(log.substr(11, 2).c_str()),
                                     atoi(log.substr(14, 2).c_str())));
    EXPECT_LT(apart < 0 ? -apart : apart, 180.0) << log.substr(0, 24);
}

// Each verdict of the counter, in its area, ending with the send time read
// from the counter's clock after the send.
TEST_F(WizardTest, EveryVerdictInItsAreaWithTheCountersSendTime)
{
    struct {
        int status;
        const wchar_t* head;  // followed by the common tail, unless tail is given
        const wchar_t* tail;
        bool shortArea;
    } verdicts[] = {
        {607, L"証明書は失効済みです。(607)\n\n失効申請書に添付された電子証明書は既に失効されているため、処理を中止します。\n"
              L"既に失効された電子証明書に対して失効申請を行う必要はありません。",
         L"\n送信時刻 : ", true},
        {608, L"「二重申請エラー」が発生しました。(608)\n\n既に同一の電子証明書に対するオンラインによる失効申請を受理しております。その\n"
              L"受理内容で失効処理を行いますので、再度失効申請をする必要はありません。",
         L"\n送信時刻 : ", true},
        {600, L"「申請書の電子署名検証エラー」が発生しました。(600)", NULL, false},
        {601, L"「申請情報取込エラー」が発生しました。(601)", NULL, false},
        {602, L"オンライン窓口サーバでエラーが発生しました。(602)", NULL, false},
        {603, L"「受信データ形式エラー」が発生しました。(603)", NULL, false},
        {604, L"「都道府県知事の電子署名検証エラー」が発生しました。(604)", NULL, false},
        {605, L"「有効性確認エラー」が発生しました。(605)", NULL, false},
        {606, L"「オンライン窓口エラー(OCSP)」が発生しました。(606)", NULL, false},
        {609, L"「オンライン窓口エラー(DB)」が発生しました。(609)", NULL, false},
        {610, L"オンライン窓口サーバでエラーが発生しました。(610)", NULL, false},
        {611, L"オンライン窓口サーバが混雑しています。(611)\n\nオンライン窓口サービスが混雑しております。\n"
              L"申し訳ございませんが、しばらく経ってからもう一度アクセスしてください。",
         L"\n\n送信時刻:", false},
        {612, L"オンライン窓口サーバでエラーが発生しました。(612)", NULL, false},
        // Any other status is shown as 612, and so is a send that never
        // reached the counter (status 0 here: the network went away, so
        // the send time cannot be read either).
        {500, L"オンライン窓口サーバでエラーが発生しました。(612)", NULL, false},
        {0, L"オンライン窓口サーバでエラーが発生しました。(612)", NULL, false},
    };
    for (const auto& verdict : verdicts) {
        SCOPED_TRACE(verdict.status);
        ResetCounter();
        // The transport case reaches the counter through a relay that goes
        // away before the send.
        CounterRelay relay;
        options_.installDir.clear();
        if (verdict.status == 0) {
            ASSERT_TRUE(relay.Start());
            options_.installDir = options_.workDir + L"install\\";
            MakeInstallDir(options_.installDir, "https://localhost:" + std::to_string(relay.Port()) + "/");
        }
        WizardRun& run = Start();
        ASSERT_NO_FATAL_FAILURE(ForwardTo(run, 4));
        // The card step checked the certificate against the real clock; the
        // send time comes from this reading.
        SetCounterStatus(verdict.status == 0 ? 200 : verdict.status);
        SetCounterClock("20101231150000");
        relay.Stop();
        run.Forward();
        run.Answer(run.WaitForBox(), IDOK);
        ASSERT_TRUE(run.WaitForScreen(5));
        ScreenView v = run.Screen();
        // Without a network the clock cannot be read either: the bare label.
        std::wstring expected = std::wstring(verdict.head) + (verdict.tail != NULL ? verdict.tail : kCommonTail) +
                                (verdict.status == 0 ? L"" : L"2011/01/01 00:00:00");
        ExpectExplanation(v, expected, verdict.shortArea, verdict.shortArea);
        EXPECT_FALSE(v.forwardVisible);
        EXPECT_EQ(verdict.status == 0 ? 0 : 1, CounterRequests());
        // The end button ends at once.
        run.End();
        EXPECT_TRUE(run.WaitForExit());
        run_.reset();
    }
}

// The card step fails for each cause in turn on screen 02, which stays with
// its captions; once the cause is gone, OK proceeds to screen 03.
TEST_F(WizardTest, CardStepFailuresStayOnScreen02UntilTheCauseIsGone)
{
    options_.traceLevel = 20;
    WizardRun& run = Start();
    ASSERT_NO_FATAL_FAILURE(ForwardTo(run, 2));
    struct {
        DWORD failOpen;
        const char* clock;
        const wchar_t* message;  // NULL: no box
    } causes[] = {
        {0x80100010, "", L"エラーが発生しました。\nICカードに接続できません。(704)"},
        {0x8010006C, "", L"エラーが発生しました。\nICカードがロックされています。(703)"},
        {0, "20991231000000", L"エラーが発生しました。\n電子証明書の有効期限が切れています。(708)"},
        {0, "20000101000000", L"エラーが発生しました。\n電子証明書の有効期限開始の日付が未来の日時になっています。(709)"},
        {0, "", NULL},  // PIN prompt cancelled when the card is opened
    };
    int attempt = 0;
    for (const auto& cause : causes) {
        SCOPED_TRACE(attempt);
        SetCardSwitches(cause.failOpen, 0, cause.message == NULL ? kPinAtOpening : kNoPinPrompt);
        SetCounterClock(cause.clock);
        run.Forward();
        if (cause.message != NULL) {
            HWND box = run.WaitForBox();
            ASSERT_TRUE(box != NULL);
            EXPECT_EQ(kErrorCaption, WindowText(box));
            EXPECT_EQ(cause.message, run.Answer(box, IDOK));
        } else {
            HWND pin = run.WaitForPin();
            ASSERT_TRUE(pin != NULL);
            ASSERT_TRUE(CancelPrompt(pin, 10000));
            // The step has ended once its failure is logged; no box follows.
            EXPECT_TRUE(WaitUntil([&] { return run.Log().find("getInfoFromCard:エラーが発生しました。(700)") != std::string::npos; },
                                  20000));
            EXPECT_TRUE(run.WaitForBox(0) == NULL);
        }
        ++attempt;
        ASSERT_TRUE(run.WaitForScreen(2));
        ExpectFrame(run.Screen(), 2);
    }
    SetCardSwitches(0, 0, kNoPinPrompt);
    SetCounterClock("");
    run.Forward();
    EXPECT_TRUE(run.WaitForScreen(3));
}

// Screen 03: a PIN prompt cancelled while signing shows the 702 box and the
// next press signs. Screen 04: Cancel on the send question sends nothing;
// the close box asks the cancel question (Cancel stays), Alt+F4 asks it too
// (OK ends).
TEST_F(WizardTest, SignatureRetryAndSendAndCloseQuestionsKeepTheScreen)
{
    WizardRun& run = Start();
    ASSERT_NO_FATAL_FAILURE(ForwardTo(run, 3));
    SetCardSwitches(0, 0, kPinAtSigning);
    run.Forward();
    HWND pin = run.WaitForPin();
    ASSERT_TRUE(pin != NULL);
    ASSERT_TRUE(CancelPrompt(pin, 10000));
    EXPECT_EQ(L"エラーが発生しました。\n予期せぬエラーが発生しました。(702)", run.Answer(run.WaitForBox(), IDOK));
    ASSERT_TRUE(run.WaitForScreen(3));
    ExpectFrame(run.Screen(), 3);

    run.Forward();
    pin = run.WaitForPin();
    ASSERT_TRUE(pin != NULL);
    ASSERT_TRUE(EnterPin(pin, L"1234", 10000));
    ASSERT_TRUE(run.WaitForScreen(4));

    run.Forward();
    EXPECT_EQ(kSendQuestion, run.Answer(run.WaitForBox(), IDCANCEL));
    ASSERT_TRUE(run.WaitForScreen(4));
    ExpectFrame(run.Screen(), 4);
    EXPECT_EQ(0, CounterRequests());

    ClickCloseBox(run.Dialog());
    HWND box = run.WaitForBox();
    ASSERT_TRUE(box != NULL);
    EXPECT_EQ(kErrorCaption, WindowText(box));
    EXPECT_EQ(kCancelQuestion, run.Answer(box, IDCANCEL));
    ASSERT_TRUE(run.WaitForScreen(4));
    EXPECT_TRUE(run.Running());

    PressAltF4(run.Dialog());
    EXPECT_EQ(kCancelQuestion, run.Answer(run.WaitForBox(), IDOK));
    EXPECT_TRUE(run.WaitForExit());
    EXPECT_EQ(0, CounterRequests());
}

// Screens 01 to 03: the about box from the system menu, the cancel question
// from the close box, Alt+F4 and the end button (Cancel keeps the screen),
// and Escape, which ends at once.
TEST_F(WizardTest, AboutBoxCancelQuestionsAndEscape)
{
    WizardRun& run = Start();
    ChooseSystemMenuItem(run.Dialog(), kAboutCommand);
    HWND about = WaitForEnabledWindow(run.Pid(), kAboutTitle, 20000);
    ASSERT_TRUE(about != NULL);
    EXPECT_NE(std::wstring::npos, DialogStaticText(about).find(L"KEVORevoke, Version 1.0"));
    ClickButton(about, IDOK);
    EXPECT_TRUE(WaitForWindowGone(about, 10000));

    void (*const closers[])(HWND) = {ClickCloseBox, PressAltF4};
    for (int screen = 1; screen <= 3; ++screen) {
        SCOPED_TRACE(screen);
        ASSERT_NO_FATAL_FAILURE(ForwardTo(run, screen));
        for (auto close : closers) {
            close(run.Dialog());
            EXPECT_EQ(kCancelQuestion, run.Answer(run.WaitForBox(), IDCANCEL));
            ASSERT_TRUE(run.WaitForScreen(screen));
        }
        run.End();
        EXPECT_EQ(kCancelQuestion, run.Answer(run.WaitForBox(), IDCANCEL));
        ASSERT_TRUE(run.WaitForScreen(screen));
        ExpectFrame(run.Screen(), screen);
    }
    PressKey(run.Dialog(), VK_ESCAPE);
    EXPECT_TRUE(run.WaitForExit());
}

// Over each button the tooltip of the current screen.
TEST_F(WizardTest, ToolTipsFollowTheScreens)
{
    WizardRun& run = Start();
    for (const ScreenTexts& screen : kScreens) {
        SCOPED_TRACE(screen.number);
        ASSERT_NO_FATAL_FAILURE(ForwardTo(run, screen.number));
        if (screen.forwardTip != NULL) {
            EXPECT_EQ(screen.forwardTip,
                      HoverForToolTip(run.Pid(), GetDlgItem(run.Dialog(), kForward), screen.forwardTip, 10000));
        }
        EXPECT_EQ(screen.endTip, HoverForToolTip(run.Pid(), GetDlgItem(run.Dialog(), kEnd), screen.endTip, 10000));
    }
    run.End();
    EXPECT_TRUE(run.WaitForExit());
}

}  // namespace
