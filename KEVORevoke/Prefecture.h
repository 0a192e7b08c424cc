// The issuing prefecture of a user certificate, found in its issuer name:
// the prefectures in national code order, each with the romanised key that
// an issuer name carries and its Japanese name.
#ifndef KEVO_PREFECTURE_H
#define KEVO_PREFECTURE_H

enum { kPrefectureCount = 47 };

// Code 1 to 47 of the first prefecture in code order whose key occurs
// anywhere in the lower-cased issuer text; 0 when none does (or no text).
int PrefectureCodeForIssuer(const wchar_t* lowerCaseIssuer);

// Japanese name for a code 0 to 47; code 0 (and anything outside the range)
// is "不明".
const wchar_t* PrefectureName(int code);

#endif
