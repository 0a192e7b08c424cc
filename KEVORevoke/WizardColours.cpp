#include "WizardColours.h"

namespace {

// System colour indices (COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_BTNFACE,
// COLOR_BTNTEXT of the platform).
const int kWindow = 5, kWindowText = 8, kButtonFace = 15, kButtonText = 18;
const unsigned long kBlack = 0x000000, kWhite = 0xFFFFFF, kLightCyan = 0xFFFFC0;

PanelColour System(int index)
{
    PanelColour colour = {true, index, 0};
    return colour;
}

PanelColour Fixed(unsigned long rgb)
{
    PanelColour colour = {false, -1, rgb};
    return colour;
}

}  // namespace

PanelColours WizardPanelColours(WizardPanel panel, bool highContrast)
{
    PanelColours colours;
    if (highContrast) {
        // The band belongs to the dialog's face, the fields are text boxes.
        colours.text = System(panel == kPanelBand ? kButtonText : kWindowText);
        colours.background = System(panel == kPanelBand ? kButtonFace : kWindow);
    } else {
        colours.text = Fixed(kBlack);
        colours.background = Fixed(panel == kPanelBand ? kLightCyan : kWhite);
    }
    return colours;
}
