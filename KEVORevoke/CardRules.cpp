#include "CardRules.h"

#include <stdio.h>
#include <string.h>

const wchar_t* GenderText(const char* genderCode)
{
    if (genderCode != nullptr && strcmp(genderCode, "1") == 0)
        return L"男";
    if (genderCode != nullptr && strcmp(genderCode, "2") == 0)
        return L"女";
    return L"不明";
}

void FormatValidityDate(char out[kValidityDateSize], int year, int month, int day, int hour, int minute,
                        int second)
{
    snprintf(out, kValidityDateSize, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute, second);
}

int ValidityCode(const char* notBefore, const char* notAfter, const char* serverDate)
{
    if (strcmp(notBefore, serverDate) > 0)
        return 709;
    if (strcmp(serverDate, notAfter) > 0)
        return 708;
    return 0;
}
