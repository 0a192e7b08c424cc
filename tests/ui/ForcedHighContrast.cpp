// Linked before the dialog library into a test copy of the wizard: the test
// platform never reports a high-contrast theme, this copy always does, so
// that the wizard's high-contrast painting can be seen and photographed.
#include "KevoHighContrast.h"

namespace kevoui {

bool IsHighContrast() { return true; }

}  // namespace kevoui
