#include "CardContext.h"

#include "KEVOUserCertRevokeCard.h"  // KEVO_CARD_PROVIDER_NAME

namespace cardcontext {
namespace {

HWND g_owner = NULL;

}  // namespace

void SetPromptOwner(HWND owner)
{
    g_owner = owner;
}

// The window goes to CryptoAPI twice. Before the context exists, for every
// context acquired later in the process: the prompt of a provider that asks
// while it opens. Then to the context itself, for the prompts of later
// calls (the signature's) and for providers that take it per context.
// A provider that shows no window of its own may refuse the parameter;
// that is no failure of the step, so neither answer is checked.
BOOL Acquire(HCRYPTPROV* provider)
{
    if (g_owner != NULL)
        CryptSetProvParam(0, PP_CLIENT_HWND, reinterpret_cast<const BYTE*>(&g_owner), 0);
    if (!CryptAcquireContextW(provider, NULL, L"" KEVO_CARD_PROVIDER_NAME, PROV_RSA_FULL, 0))
        return FALSE;
    if (g_owner != NULL)
        CryptSetProvParam(*provider, PP_CLIENT_HWND, reinterpret_cast<const BYTE*>(&g_owner), 0);
    return TRUE;
}

}  // namespace cardcontext
