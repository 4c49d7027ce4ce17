#include "platform/handed_arguments.h"

#include <mutex>

#include "platform/file.h"

namespace plat {
namespace {
std::mutex g_argsMutex;
bool g_argsHanded = false;
std::string g_argText;
}  // namespace

// Joined with single blanks, the arguments stand for the command-line text
// after the program's name.
void SetCommandLineArguments(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  std::lock_guard<std::mutex> g(g_argsMutex);
  g_argsHanded = true;
  g_argText = text;
}

bool HandedArgumentText(std::string* text) {
  std::lock_guard<std::mutex> g(g_argsMutex);
  if (g_argsHanded) *text = g_argText;
  return g_argsHanded;
}

}  // namespace plat
