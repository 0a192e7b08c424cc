#include "WizardScreens.h"

#include <stddef.h>

#include "KEVORevokeRes.h"

namespace {

const char kProceedText[] =
    "この機能を使用すると、ご自身の電子証明書の失効申請を行うことができます。\n\n\n"
    "失効申請を行うと、電子証明書は失効し電子申請等に利用できなくなります。\n"
    "ICカードを紛失した場合や、ICカードが破損した場合は、オンラインの申請はできま\n"
    "せんので、速やかにお住まいの市区町村の窓口に届出を行ってください。";
const char kCardText[] =
    "ICカードから申請に必要な情報（氏名、性別、生年月日、住所）を読み出し、失効申\n"
    "請書を作成します。\n\n"
    "電子証明書の失効申請を行うためには、KEVOの電子証明書が格納さ\n"
    "れたご自身のICカードが必要です。また、パソコンにICカードリーダライタが接続さ\n"
    "れている必要があります。";
const char kSignText[] =
    "次の電子証明書の失効申請を作成しました。\n"
    "内容を確認し誤りがなければ、ご自身のICカードに格納された秘密鍵により電子署名\n"
    "を作成します。";
const char kSendText[] =
    "電子署名を作成しました。\n"
    "送信ボタンを押すと失効申請をオンライン窓口に送信します。";

const char kOkTip[] = "OKボタン";
const char kEndTip[] = "終了ボタン";
const char kAbortTip[] = "申請中止ボタン";
const char kEndCaption[] = "終了(&E)";

const WizardScreen kScreens[] = {
    {"画面番号 01", "\n     失効申請を行いますか？", kAreasLong, IDC_STATIC_EXPLAIN, kProceedText,
     {NULL, kTipT1, kOkTip, kTipT1},
     {NULL, kTipT2, kEndTip, kTipT2}},
    {"画面番号 02", "\n     ICカードをリーダライタにセットしてください。", kAreasKeep, IDC_STATIC_EXPLAIN, kCardText,
     {NULL, kTipNone, NULL, kTipT1},
     {"申請中止(&C)", kTipT3, kAbortTip, kTipT3}},
    {"画面番号 03", "\n     電子署名を作成しますか？", kAreasShort, IDC_STATIC_SHORTEXPLAIN, kSignText,
     {"電子署名(&S)", kTipT4, "電子署名ボタン", kTipT4},
     {NULL, kTipNone, NULL, kTipT3}},
    {"画面番号 04", "\n     失効申請を送信しますか？", kAreasKeep, IDC_STATIC_SHORTEXPLAIN, kSendText,
     {"送信(&S)", kTipT5, "送信ボタン", kTipT5},
     {NULL, kTipNone, NULL, kTipT3}},
    // The forward button is gone here; T6 is made with T2's text, and T2
    // is the one that shows.
    {"画面番号 05", "\n     オンライン失効申請機能を終了します。", kAreasByVerdict, 0, NULL,
     {NULL, kTipNone, NULL, kTipNone},
     {kEndCaption, kTipT6, kEndTip, kTipT2}},
};

}  // namespace

const WizardScreen* WizardScreenFor(int no)
{
    if (no < kFirstScreen || no > kVerdictScreen)
        return 0;
    return &kScreens[no - kFirstScreen];
}

short NextWizardScreen(short screen, int stepCode)
{
    switch (screen) {
    case 1:
        return 2;
    case 2:  // card step
    case 3:  // request and signature
        return stepCode == 0 ? (short)(screen + 1) : screen;
    case kSendScreen:
        return kVerdictScreen;
    default:
        return screen;
    }
}
