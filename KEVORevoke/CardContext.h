// Opening the card's provider with the wizard as the owner of the windows
// the provider shows itself (the PIN prompt). A provider shows them inside
// CryptoAPI calls, some while a context is acquired; without an owner the
// prompt may open behind the wizard while the wizard stays enabled.
#pragma once

#include <windows.h>
#include <wincrypt.h>

namespace cardcontext {

// The window the provider's prompts belong to from now on; NULL for none
// (a client without a window).
void SetPromptOwner(HWND owner);

// CryptAcquireContext of the card's provider (the default container). On
// failure the provider's error is GetLastError's, as after the plain call.
BOOL Acquire(HCRYPTPROV* provider);

}  // namespace cardcontext
