// The wizard's five screens as data: what each one shows (screen number,
// prompt band, explanation, button captions and the tooltips it creates) and
// which tooltip answers for each button while it is up; and the one function
// that says where the forward button leads. No window, no Windows headers.
#ifndef KEVO_WIZARDSCREENS_H
#define KEVO_WIZARDSCREENS_H

enum { kFirstScreen = 1, kSendScreen = 4, kVerdictScreen = 5 };

// The six tooltips, in the order the dialog declares them.
enum WizardTip {
    kTipNone = -1,
    kTipT1,  // forward button, screens 1 and 2
    kTipT4,  // forward button, screen 3
    kTipT5,  // forward button, screen 4
    kTipT2,  // end button, screens 1 and 5
    kTipT3,  // end button, screens 2 to 4
    kTipT6,  // end button, screen 5 (created, never relayed to)
    kTipCount
};

// How a screen arranges the explanation areas and the applicant table.
enum WizardAreas {
    kAreasKeep,       // as the previous screen left them
    kAreasLong,       // long explanation shown; short area and table hidden
    kAreasShort,      // short explanation above the visible table
    kAreasByVerdict   // short for 200, 607 and 608, long for every other verdict
};

// A button's look on a screen: the caption it gets (NULL: unchanged) and the
// tooltip created for it there (kTipNone: none), with its text.
struct WizardButton {
    const char* caption;
    WizardTip createdTip;
    const char* tipText;
    WizardTip relayTip;  // the tooltip that shows over it on this screen
};

struct WizardScreen {
    const char* number;       // screen number, top right
    const char* prompt;       // prompt band at the bottom
    WizardAreas areas;
    int explanationId;        // control that takes the explanation
    const char* explanation;  // NULL on the verdict screen: the verdict text
    WizardButton forward;     // button 1031
    WizardButton end;         // button 1028
};

// The layout of screen no, or NULL outside 1 to 5. Texts are Shift-JIS.
const WizardScreen* WizardScreenFor(int no);

// The screen after the forward button on screen `screen`, whose step ended
// with stepCode (0: success): a failed card or signature step stays, the
// send leads to the verdict whatever its outcome.
short NextWizardScreen(short screen, int stepCode);

#endif
