#include "RevokeTexts.h"

#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

namespace {

// ---- error boxes -------------------------------------------------------------
const char kMemoryShortage[] = "メモリが不足しています。";
const char kUnexpected[] = "予期せぬエラーが発生しました。";

struct ErrorRow {
    int code;
    const char* message;
};
const ErrorRow kErrorRows[] = {
    {701, kMemoryShortage},
    {702, kUnexpected},
    {703, "ICカードがロックされています。"},
    {704, "ICカードに接続できません。"},
    {705, "電子証明書(DER形式)の解析に失敗しました。"},
    {706, "サーバ時刻の取得に失敗しました。"},
    {707, "オンライン窓口サーバへのアクセスに失敗しました。"},
    {708, "電子証明書の有効期限が切れています。"},
    {709, "電子証明書の有効期限開始の日付が未来の日時になっています。"},
    {-101, kUnexpected},
    {-102, kMemoryShortage},
    {-103, kUnexpected},
    {-104, kUnexpected},
    {-105, kUnexpected},
};

// ---- verdicts ------------------------------------------------------------------
// Tail shared by nine failure verdicts; it ends in the bare send-time label.
#define KEVO_VERDICT_TAIL                                                                        \
    "\n\nオンライン窓口サービスで不具合が発生したため、処理を継続することができません\nでした。" \
    "\n申し訳ございませんが、しばらく経ってから失効申請をはじめからやり直してくださ\nい。"       \
    "\n\n送信時刻:"

const RevokeVerdict kVerdicts[] = {
    {200,
     "オンライン窓口で電子証明書の失効申請が受理されました。失効した電子証明書は電\n"
     "子申請等に使用できませんのでご注意ください。",
     kVerdictShortArea},
    {600, "「申請書の電子署名検証エラー」が発生しました。(600)" KEVO_VERDICT_TAIL, kVerdictLongArea},
    {601, "「申請情報取込エラー」が発生しました。(601)" KEVO_VERDICT_TAIL, kVerdictLongArea},
    {602, "オンライン窓口サーバでエラーが発生しました。(602)" KEVO_VERDICT_TAIL, kVerdictLongArea},
    {603, "「受信データ形式エラー」が発生しました。(603)" KEVO_VERDICT_TAIL, kVerdictLongArea},
    {604, "「都道府県知事の電子署名検証エラー」が発生しました。(604)" KEVO_VERDICT_TAIL, kVerdictLongArea},
    {605, "「有効性確認エラー」が発生しました。(605)" KEVO_VERDICT_TAIL, kVerdictLongArea},
    {606, "「オンライン窓口エラー(OCSP)」が発生しました。(606)" KEVO_VERDICT_TAIL, kVerdictLongArea},
    {607,
     "証明書は失効済みです。(607)\n\n"
     "失効申請書に添付された電子証明書は既に失効されているため、処理を中止します。\n"
     "既に失効された電子証明書に対して失効申請を行う必要はありません。\n"
     "送信時刻 : ",
     kVerdictShortArea},
    {608,
     "「二重申請エラー」が発生しました。(608)\n\n"
     "既に同一の電子証明書に対するオンラインによる失効申請を受理しております。その\n"
     "受理内容で失効処理を行いますので、再度失効申請をする必要はありません。\n"
     "送信時刻 : ",
     kVerdictShortArea},
    {609, "「オンライン窓口エラー(DB)」が発生しました。(609)" KEVO_VERDICT_TAIL, kVerdictLongArea},
    {610, "オンライン窓口サーバでエラーが発生しました。(610)" KEVO_VERDICT_TAIL, kVerdictLongArea},
    {611,
     "オンライン窓口サーバが混雑しています。(611)\n\n"
     "オンライン窓口サービスが混雑しております。\n"
     "申し訳ございませんが、しばらく経ってからもう一度アクセスしてください。\n\n"
     "送信時刻:",
     kVerdictLongArea},
    {612, "オンライン窓口サーバでエラーが発生しました。(612)" KEVO_VERDICT_TAIL, kVerdictLongArea},
};
const size_t kVerdictCount = sizeof kVerdicts / sizeof kVerdicts[0];

// ---- birth date ------------------------------------------------------------------
struct Era {
    const char* name;
    int offset;  // era year = Gregorian year - offset
};
const Era kEras[] = {{"明治", 1867}, {"大正", 1911}, {"昭和", 1925}, {"平成", 1988}};
const char* const kSeasons[] = {"春", "夏", "秋", "冬"};            // month codes A1 to A4
const char* const kPartsOfMonth[] = {"上旬", "中旬", "下旬"};       // day codes A1 to A3
const size_t kPieceSize = 5;  // each piece: at most 4 bytes and its terminator

// Decimal value of the first count characters, read like atoi.
long FieldValue(const char* text, size_t count)
{
    char field[8] = {0};
    memcpy(field, text, count);
    return strtol(field, NULL, 10);
}

// Index of a two-character code "A1".."An" among count codes, or -1.
int LetterCode(const char* field, int count)
{
    if (field[0] != 'A')
        return -1;
    for (int i = 0; i < count; ++i)
        if (field[1] == '1' + i)
            return i;
    return -1;
}

// Copies text into a piece when it fits (at most 4 bytes).
bool SetPiece(char piece[kPieceSize], const char* text)
{
    const size_t length = strlen(text);
    if (length >= kPieceSize)
        return false;
    memcpy(piece, text, length + 1);
    return true;
}

// value formatted with "%d" and the unit, when it fits a piece.
bool FormatPiece(char piece[kPieceSize], long value, const char* unit)
{
    char scratch[32];
    snprintf(scratch, sizeof scratch, "%ld%s", value, unit);
    return SetPiece(piece, scratch);
}

// A two-character month or day field as its piece: a letter code "A1".."An"
// gives names[n - 1], anything else its value with the unit; false when the
// value is 0 (no code and no number) or does not fit.
bool FieldPiece(char piece[kPieceSize], const char* field, const char* const* names, int nameCount,
                const char* unit)
{
    const int named = LetterCode(field, nameCount);
    if (named >= 0)
        return SetPiece(piece, names[named]);
    const long value = FieldValue(field, 2);
    return value != 0 && FormatPiece(piece, value, unit);
}

}  // namespace

const char kErrorBoxHead[] = "エラーが発生しました。\n";
const char kErrorBoxCaption[] = "オンライン失効申請";

const char* ErrorMessageFor(int code)
{
    if (code == kUserCancelled)
        return NULL;
    for (size_t i = 0; i < sizeof kErrorRows / sizeof kErrorRows[0]; ++i)
        if (kErrorRows[i].code == code)
            return kErrorRows[i].message;
    return kUnexpected;
}

bool ErrorBoxText(int code, std::string& text)
{
    const char* message = ErrorMessageFor(code);
    if (message == NULL)
        return false;
    char number[16];
    snprintf(number, sizeof number, "(%d)", code);
    text = std::string(kErrorBoxHead) + message + number;
    return true;
}

const RevokeVerdict& VerdictFor(int sendResult)
{
    for (size_t i = 0; i + 1 < kVerdictCount; ++i)
        if (kVerdicts[i].code == sendResult)
            return kVerdicts[i];
    return kVerdicts[kVerdictCount - 1];  // 612
}

SendTimeStatus ServerDateToSendTime(const char* serverDate, char out[kSendTimeSize])
{
    if (serverDate == NULL || strlen(serverDate) != 14)
        return kSendTimeBadText;
    struct tm fields;
    memset(&fields, 0, sizeof fields);
    fields.tm_year = static_cast<int>(FieldValue(serverDate, 4)) - 1900;
    fields.tm_mon = static_cast<int>(FieldValue(serverDate + 4, 2)) - 1;
    fields.tm_mday = static_cast<int>(FieldValue(serverDate + 6, 2));
    fields.tm_hour = static_cast<int>(FieldValue(serverDate + 8, 2));
    fields.tm_min = static_cast<int>(FieldValue(serverDate + 10, 2));
    fields.tm_sec = static_cast<int>(FieldValue(serverDate + 12, 2));
    fields.tm_isdst = -1;
#ifdef _WIN32
    __time64_t local = _mktime64(&fields);
#else
    long long local = mktime(&fields);
#endif
    if (local == -1)
        return kSendTimeMktime;
    // The fields were UTC: the instant at which they, read as UTC, fall is
    // nine hours later than the same fields read as Japan time.
    local += 32400;
    struct tm japan;
#ifdef _WIN32
    if (_localtime64_s(&japan, &local) != 0)
        return kSendTimeLocaltime;
#else
    time_t instant = static_cast<time_t>(local);
    if (localtime_r(&instant, &japan) == NULL)
        return kSendTimeLocaltime;
#endif
    // A year past 9999 (month fields normalised beyond it) does not fit the
    // send time's form.
    char scratch[64];
    int n = snprintf(scratch, sizeof scratch, "%04d/%02d/%02d %02d:%02d:%02d", japan.tm_year + 1900,
                     japan.tm_mon + 1, japan.tm_mday, japan.tm_hour, japan.tm_min, japan.tm_sec);
    if (n < 0 || n >= kSendTimeSize)
        return kSendTimeLocaltime;
    memcpy(out, scratch, static_cast<size_t>(n) + 1);
    return kSendTimeOk;
}

void FixJapanLocaleAndZone()
{
    setlocale(LC_ALL, "Japanese");
#ifdef _WIN32
    _putenv("TZ=JST-9");
    _tzset();
#else
    setenv("TZ", "JST-9", 1);
    tzset();
#endif
}

BirthDateStatus RenderBirthDate(const char* code, char out[kBirthDateSize])
{
    if (code == NULL || strlen(code) != 9)
        return kBirthDateBadCode;
    if (strtol(code, NULL, 10) == 0) {
        out[0] = '\0';
        return kBirthDateOk;
    }
    const long era = FieldValue(code, 1);
    if (era < 1 || era > 4)
        return kBirthDateBadCode;
    const char* eraName = kEras[era - 1].name;

    char year[kPieceSize];
    const long eraYear = FieldValue(code + 1, 4) - kEras[era - 1].offset;
    if (eraYear == 1)
        SetPiece(year, "元年");
    else if (!FormatPiece(year, eraYear, "年"))
        return kBirthDateBadYear;

    const char* monthField = code + 5;
    if (monthField[0] == '0' && monthField[1] == '0') {
        snprintf(out, kBirthDateSize, "%s%s", eraName, year);
        return kBirthDateOk;
    }
    char month[kPieceSize];
    if (!FieldPiece(month, monthField, kSeasons, 4, "月"))
        return kBirthDateBadMonth;

    const char* dayField = code + 7;
    if (dayField[0] == '0' && dayField[1] == '0') {
        snprintf(out, kBirthDateSize, "%s%s%s", eraName, year, month);
        return kBirthDateOk;
    }
    char day[kPieceSize];
    if (!FieldPiece(day, dayField, kPartsOfMonth, 3, "日"))
        return kBirthDateBadDay;
    snprintf(out, kBirthDateSize, "%s%s%s%s", eraName, year, month, day);
    return kBirthDateOk;
}
