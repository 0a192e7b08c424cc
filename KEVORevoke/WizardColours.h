// The colours of the wizard's painted panels, chosen in one place: its
// light cyan band and white fields, with black text on them whatever the
// text colour of the system; in a high-contrast theme the system's own
// colours instead. No window, no Windows headers.
#ifndef KEVO_WIZARDCOLOURS_H
#define KEVO_WIZARDCOLOURS_H

enum WizardPanel {
    kPanelBand,  // the prompt band and the table's labels
    kPanelField  // the four applicant fields
};

// A colour: a system colour by its index (GetSysColor), or a fixed one
// (0x00BBGGRR, as COLORREF holds it).
struct PanelColour {
    bool system;
    int systemIndex;
    unsigned long rgb;
};

struct PanelColours {
    PanelColour text;
    PanelColour background;
};

PanelColours WizardPanelColours(WizardPanel panel, bool highContrast);

#endif
