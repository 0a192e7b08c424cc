// The wizard's two renderings of outside text: the card's birth-date code
// in the Japanese era and the counter's UTC clock as Japan time, the latter
// against timegm/gmtime as the independent computation.
#include <time.h>

#include "RevokeTexts.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FixJapanLocaleAndZone();
    return 0;
}

namespace {

bool AllDigits(const std::string& text)
{
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int Field(const std::string& text, size_t at, size_t count)
{
    return atoi(text.substr(at, count).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    std::string code = in.Text(12);
    std::string date = in.Text(16);

    char birth[kBirthDateSize + 1];
    memset(birth, '#', sizeof birth);
    BirthDateStatus status = RenderBirthDate(code.c_str(), birth);
    FUZZ_CHECK(birth[kBirthDateSize] == '#');
    if (status == kBirthDateOk) {
        FUZZ_CHECK(memchr(birth, '\0', kBirthDateSize) != NULL);
        // A valid code of digits with a month and day in range always renders.
    } else {
        FUZZ_CHECK(birth[0] == '#');  // written only on success
        if (code.size() == 9 && AllDigits(code) && code[0] >= '1' && code[0] <= '4') {
            // First years of the four eras: Meiji 1868, Taisho 1912, Showa 1926, Heisei 1989.
            static const int kEraStart[] = {1868, 1912, 1926, 1989};
            int eraYear = Field(code, 1, 4) - kEraStart[code[0] - '1'] + 1;
            int month = Field(code, 5, 2), day = Field(code, 7, 2);
            bool plausible = eraYear >= 1 && eraYear <= 99 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
            FUZZ_CHECK(!plausible);
        }
    }

    char sent[kSendTimeSize + 1];
    memset(sent, '#', sizeof sent);
    SendTimeStatus sendStatus = ServerDateToSendTime(date.c_str(), sent);
    FUZZ_CHECK(sent[kSendTimeSize] == '#');
    if (date.size() != 14)
        FUZZ_CHECK(sendStatus == kSendTimeBadText);
    if (sendStatus != kSendTimeOk) {
        FUZZ_CHECK(sent[0] == '#');
    } else {
        FUZZ_CHECK(strlen(sent) <= kSendTimeSize - 1);
    }
    if (date.size() == 14 && AllDigits(date) && Field(date, 0, 4) >= 1900) {
        struct tm fields;
        memset(&fields, 0, sizeof fields);
        fields.tm_year = Field(date, 0, 4) - 1900;
        fields.tm_mon = Field(date, 4, 2) - 1;
        fields.tm_mday = Field(date, 6, 2);
        fields.tm_hour = Field(date, 8, 2);
        fields.tm_min = Field(date, 10, 2);
        fields.tm_sec = Field(date, 12, 2);
        time_t utc = timegm(&fields);
        // The one instant whose local reading is -1, mktime's failure value.
        if (utc - 9 * 3600 == -1)
            return 0;
        time_t instant = utc + 9 * 3600;
        struct tm japan;
        gmtime_r(&instant, &japan);
        char expected[64];
        snprintf(expected, sizeof expected, "%04d/%02d/%02d %02d:%02d:%02d", japan.tm_year + 1900,
                 japan.tm_mon + 1, japan.tm_mday, japan.tm_hour, japan.tm_min, japan.tm_sec);
        // Years past 9999 do not fit the rendering (and the Windows runtime
        // refuses any year past 3000 before that).
        if (japan.tm_year + 1900 > 9999)
            return 0;
        FUZZ_CHECK(sendStatus == kSendTimeOk);
        FUZZ_CHECK(strcmp(expected, sent) == 0);
    }
    return 0;
}
