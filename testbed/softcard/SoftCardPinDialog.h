// The software card's PIN entry: a small modal window as a card's middleware
// shows it, built from an in-memory dialog template.
#ifndef KEVO_SOFTCARDPINDIALOG_H
#define KEVO_SOFTCARDPINDIALOG_H

#include <windows.h>

// Control ids, fixed so that test drivers can type and press: the label,
// the password edit box, and the buttons IDOK and IDCANCEL.
enum {
    SOFTCARD_IDC_PIN_LABEL = 1000,
    SOFTCARD_IDC_PIN_EDIT = 1001
};

// The longest PIN the edit box takes.
enum { SOFTCARD_PIN_MAX_LENGTH = 16 };

enum PinAnswer {
    kPinEntered,    // OK: pin holds the text typed
    kPinCancelled,  // Cancel, the close box or Esc
    kPinNoWindow    // the window could not be shown
};

// Shows the window owned by owner (NULL: no owner) and waits for the answer.
// pin receives at most capacity - 1 units and a terminator.
PinAnswer AskForPin(HINSTANCE instance, HWND owner, wchar_t* pin, int capacity);

#endif
