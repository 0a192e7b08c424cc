#include "Prefecture.h"

#include <wchar.h>

namespace {

// Position i holds the key of code i + 1.
const wchar_t* const kKeys[kPrefectureCount] = {
    L"hokkaido",      L"aomori-ken",    L"iwate-ken",     L"miyagi-ken",    L"akita-ken",     L"yamagata-ken",
    L"fukushima-ken", L"ibaraki-ken",   L"tochigi-ken",   L"gunma-ken",     L"saitama-ken",   L"chiba-ken",
    L"tokyo-to",      L"kanagawa-ken",  L"niigata-ken",   L"toyama-ken",    L"ishikawa-ken",  L"fukui-ken",
    L"yamanashi-ken", L"nagano-ken",    L"gifu-ken",      L"shizuoka-ken",  L"aichi-ken",     L"mie-ken",
    L"shiga-ken",     L"kyoto-fu",      L"osaka-fu",      L"hyogo-ken",     L"nara-ken",      L"wakayama-ken",
    L"tottori-ken",   L"shimane-ken",   L"okayama-ken",   L"hiroshima-ken", L"yamaguchi-ken", L"tokushima-ken",
    L"kagawa-ken",    L"ehime-ken",     L"kochi-ken",     L"fukuoka-ken",   L"saga-ken",      L"nagasaki-ken",
    L"kumamoto-ken",  L"oita-ken",      L"miyazaki-ken",  L"kagoshima-ken", L"okinawa-ken"};

// Position 0 stands for no match.
const wchar_t* const kNames[kPrefectureCount + 1] = {
    L"不明",   L"北海道", L"青森県", L"岩手県", L"宮城県",   L"秋田県", L"山形県", L"福島県",
    L"茨城県", L"栃木県", L"群馬県", L"埼玉県", L"千葉県",   L"東京都", L"神奈川県", L"新潟県",
    L"富山県", L"石川県", L"福井県", L"山梨県", L"長野県",   L"岐阜県", L"静岡県", L"愛知県",
    L"三重県", L"滋賀県", L"京都府", L"大阪府", L"兵庫県",   L"奈良県", L"和歌山県", L"鳥取県",
    L"島根県", L"岡山県", L"広島県", L"山口県", L"徳島県",   L"香川県", L"愛媛県", L"高知県",
    L"福岡県", L"佐賀県", L"長崎県", L"熊本県", L"大分県",   L"宮崎県", L"鹿児島県", L"沖縄県"};

}  // namespace

int PrefectureCodeForIssuer(const wchar_t* lowerCaseIssuer)
{
    if (lowerCaseIssuer == nullptr)
        return 0;
    for (int i = 0; i < kPrefectureCount; ++i)
        if (wcsstr(lowerCaseIssuer, kKeys[i]) != nullptr)
            return i + 1;
    return 0;
}

const wchar_t* PrefectureName(int code)
{
    return (code >= 0 && code <= kPrefectureCount) ? kNames[code] : kNames[0];
}
