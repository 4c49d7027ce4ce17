// The dialog program's answers on its console: a command line that is only
// --help (-h) or --version (-V) is a question to the program, not the name of
// a firmware file, and it is answered without opening a window.
#pragma once

#include <string>

enum class ConsoleRequest { kNone, kHelp, kVersion };

// From the whole text after the program's name.
ConsoleRequest ConsoleRequestOf(const std::string& commandText);

// What the program prints for it, ending in a newline ("" for kNone).
std::string ConsoleAnswer(ConsoleRequest request);
