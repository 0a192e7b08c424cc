// The small decisions of the card step, kept apart from CryptoAPI and the
// service library so that they can be checked directly: the gender text and
// the validity check against the counter's clock.
#ifndef KEVO_CARDRULES_H
#define KEVO_CARDRULES_H

// "男" for "1", "女" for "2", "不明" for anything else, a missing value
// included.
const wchar_t* GenderText(const char* genderCode);

// A certificate time as the 14 digits YYYYMMDDhhmmss that the online
// counter's clock uses; out holds at least kValidityDateSize bytes.
enum { kValidityDateSize = 15 };
void FormatValidityDate(char out[kValidityDateSize], int year, int month, int day, int hour, int minute,
                        int second);

// Compares the validity period with the server date, all three as
// 14-digit texts (byte-wise, so equal dates are inside the period):
// 0 inside, 709 when the period starts after the server date (also when it
// has ended as well), 708 when it ended before it.
int ValidityCode(const char* notBefore, const char* notAfter, const char* serverDate);

#endif
