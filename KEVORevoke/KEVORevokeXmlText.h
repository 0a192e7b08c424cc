// The fixed text of the revocation request and the small pure rules around
// it: fragment tables, the application date and time taken from the server
// date, the escaping of field values and the provider-error mapping.
// Every space and line feed of the fragments is part of the contract with
// the online counter, which checks digest and signature over these bytes.
#ifndef KEVO_REVOKEXMLTEXT_H
#define KEVO_REVOKEXMLTEXT_H

#include "TextBuffer.h"

// A row of a fragment table: literal text, or (field != kLiteralRow) the
// place of a value that is appended instead of the row's placeholder text.
struct RevokeXmlRow {
    const wchar_t* text;
    int field;
};

enum {
    kLiteralRow = -1,
    // Part 2 values, in document order.
    kFieldApplicationDate = 0,
    kFieldApplicationTime,
    kFieldPerfCode,
    kFieldPerfName,
    kFieldName,
    kFieldAddress,
    kFieldGender,
    kFieldBirth,
    kPart2FieldCount,
    // Values of the signature parts.
    kFieldDigest = 0,
    kFieldSignature = 0,
    kFieldCertificate = 1
};

enum {
    kPart2RowCount = 37,
    kPart4RowCount = 14,
    kPart6RowCount = 12
};

extern const wchar_t kRevokeXmlPart1[];
extern const wchar_t kRevokeXmlPart3[];
extern const wchar_t kRevokeXmlPart5[];
extern const RevokeXmlRow kRevokeXmlPart2Rows[kPart2RowCount];
extern const RevokeXmlRow kRevokeXmlPart4Rows[kPart4RowCount];
extern const RevokeXmlRow kRevokeXmlPart6Rows[kPart6RowCount];

// True when the text is exactly 14 decimal digits (YYYYMMDDhhmmss).
bool IsServerDateText(const wchar_t* serverDate);
// "YYYY/MM/DD" and "hh/mm/ss" from a server date that IsServerDateText
// accepts; the buffers hold 11 and 9 units.
void FormatApplicationDate(const wchar_t* serverDate, wchar_t out[11]);
void FormatApplicationTime(const wchar_t* serverDate, wchar_t out[9]);

// True when every character of the text can stand in an XML 1.0 document:
// tab, line feed, carriage return, U+0020 to U+D7FF, U+E000 to U+FFFD and
// the characters above U+FFFF as a high surrogate followed by a low one.
// Other control characters, a surrogate without its partner and U+FFFE /
// U+FFFF cannot be carried, escaped or not: no parser accepts a document
// holding them. A null or empty text is carriable.
bool IsXmlCarriableText(const wchar_t* text);

// Appends a field value with "&" written as "&amp;", "<" as "&lt;" and ">"
// as "&gt;", so that card data can neither break the document nor add
// markup ("]]>" included). A null or empty value appends nothing and
// succeeds. The value must be carriable (IsXmlCarriableText); MakeXML
// refuses one that is not before anything is signed. 1 ok, 0 out of memory
// (the buffer keeps its text).
int AppendEscapedValue(CTextBuffer& target, const wchar_t* value);

// Appends the rows of a table, the values (by field index) in place of the
// placeholder rows; escapeValues selects AppendEscapedValue for them.
// 1 ok, 0 out of memory.
int AppendRows(CTextBuffer& target, const RevokeXmlRow* rows, int rowCount, const wchar_t* const* values,
               bool escapeValues);

// Result code of MakeXML for a failed opening of the card's provider.
int MapProviderOpenError(unsigned long lastError);

#endif
