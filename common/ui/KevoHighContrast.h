// Whether the user runs a high-contrast theme: then every window paints
// with the system colours, whatever colours it would choose otherwise.
// Alone in its file, so that a test build of a program can link a stand-in
// (the test platform always reports the theme off).
#ifndef KEVO_KEVOHIGHCONTRAST_H
#define KEVO_KEVOHIGHCONTRAST_H

namespace kevoui {

bool IsHighContrast();

}  // namespace kevoui

#endif
