#include "KevoHighContrast.h"

#include <windows.h>

namespace kevoui {

bool IsHighContrast()
{
    HIGHCONTRASTW contrast;
    ZeroMemory(&contrast, sizeof contrast);
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

}  // namespace kevoui
