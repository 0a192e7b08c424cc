// Every 32-bit result code through the tables that turn codes into the
// service library's public codes and into the wizard's words.
#include "RevokeTexts.h"
#include "ServiceApiCodes.h"
#include "fuzz_support.h"

namespace {
bool OneOf(int32_t value, std::initializer_list<int32_t> allowed)
{
    for (int32_t a : allowed)
        if (a == value)
            return true;
    return false;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    int32_t code = static_cast<int32_t>(in.U32());
    if (in.Byte() & 1)  // the neighbourhood of the codes in use
        code = static_cast<int32_t>(static_cast<int8_t>(in.Byte())) + (in.Byte() & 1 ? 700 : -950);

    FUZZ_CHECK(OneOf(KEVO_JVM_MappingReturnCodeGetBasicData(code), {0, -101, -102, -103, -104}));
    FUZZ_CHECK(OneOf(KEVO_UCS_MapCode(code), {0, -101, -102, -103, -104, -105}));
    // Internal codes never leave the library as they are.
    for (int32_t mapped : {KEVO_JVM_MappingReturnCodeCertValid(code), KEVO_JVM_MappingReturnCodeConfirm(code)})
        FUZZ_CHECK(!OneOf(mapped, {-901, -902, -997, -998, -999}));

    const char* message = ErrorMessageFor(code);
    FUZZ_CHECK((message == NULL) == (code == 700));
    if (message != NULL)
        FUZZ_CHECK(strlen(message) > 0);

    const RevokeVerdict& verdict = VerdictFor(code);
    bool counterCode = code == 200 || (code >= 600 && code <= 611);
    FUZZ_CHECK(verdict.code == (counterCode ? code : 612));
    FUZZ_CHECK(verdict.text != NULL && strlen(verdict.text) > 0);
    FUZZ_CHECK(verdict.area == kVerdictShortArea || verdict.area == kVerdictLongArea);
    return 0;
}
