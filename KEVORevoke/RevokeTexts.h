// What the wizard says: the decision tables that turn codes into words (error
// boxes of the card and signature steps, verdicts of the online counter) and
// the two renderings of screens 03 and 05 (birth date, send time). Pure
// functions over narrow Shift-JIS text; no window, no Windows headers.
#ifndef KEVO_REVOKETEXTS_H
#define KEVO_REVOKETEXTS_H

#include <stddef.h>

#include <string>

// ---- error boxes -------------------------------------------------------------
// Code the card step returns when the citizen cancelled at a prompt: no box.
enum { kUserCancelled = 700 };

// First line of every error box.
extern const char kErrorBoxHead[];
// Caption of the error boxes and of the cancel confirmation.
extern const char kErrorBoxCaption[];
// The message line for a code of the card or signature step; NULL for 700
// (nothing is shown). Codes without a row of their own get the
// unexpected-error message.
const char* ErrorMessageFor(int code);
// The whole text of the error box: the head line, the message and the code
// as "(%d)"; false for 700, which shows no box.
bool ErrorBoxText(int code, std::string& text);

// ---- verdicts of the online counter -------------------------------------------
enum VerdictArea {
    kVerdictShortArea,  // above the applicant table, which stays visible
    kVerdictLongArea    // the long explanation area, the table hidden
};
struct RevokeVerdict {
    int code;          // 200 or 600 to 612: the code screen 05 treats it as
    const char* text;  // the verdict, ending in the send-time label for failures
    VerdictArea area;
};
// The verdict for the result of the send step; any result outside 200 and
// 600 to 611 (a transport failure, an internal error, 612 itself) is 612.
const RevokeVerdict& VerdictFor(int sendResult);

// ---- send time ------------------------------------------------------------------
enum SendTimeStatus {
    kSendTimeOk = 0,
    kSendTimeBadText,    // absent or not 14 characters
    kSendTimeMktime,     // the calendar conversion refused the fields
    kSendTimeLocaltime   // the instant could not be turned into calendar time
};
enum { kSendTimeSize = 20 };  // "YYYY/MM/DD hh:mm:ss" and the terminator
// The counter's UTC clock YYYYMMDDhhmmss as Japan time "%04d/%02d/%02d
// %02d:%02d:%02d". The fields are read as local time, moved on by nine hours
// and converted back, so the process's time zone must be Japan's (see
// FixJapanLocaleAndZone). out is written only on success.
SendTimeStatus ServerDateToSendTime(const char* serverDate, char out[kSendTimeSize]);

// Sets the C locale "Japanese" and the time zone "TZ=JST-9", so that every
// local time the process computes or shows is Japan time whatever the PC's
// own zone.
void FixJapanLocaleAndZone();

// ---- birth date -----------------------------------------------------------------
enum BirthDateStatus {
    kBirthDateOk = 0,
    kBirthDateBadCode,   // not 9 characters, or an era digit outside 1 to 4
    kBirthDateBadYear,   // the era year does not fit its 4-byte piece
    kBirthDateBadMonth,  // a month value of 0 that is no season code
    kBirthDateBadDay     // a day value of 0 that is no part-of-month code
};
enum { kBirthDateSize = 20 };  // the whole rendering and its terminator
// Renders the 9-character code (era digit, Gregorian year, month, day) as a
// Japanese-era date such as 昭和50年4月15日; a code whose value is 0 renders
// as the empty text. out is written only on kBirthDateOk.
BirthDateStatus RenderBirthDate(const char* code, char out[kBirthDateSize]);

#endif
