// An error that ends the dialog program before its dialog opens (a bad
// ORVALO_SIM): an operator who started it from the desktop sees no standard
// error, so it is shown in a message box too. Needs the QApplication.
#pragma once

#include <string>

// Writes text on standard error and shows it in a modal message box titled
// "ORVALO_SIM" until the operator closes it.
void ShowStartupError(const std::string& text);
