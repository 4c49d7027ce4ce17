#include "cli/console_dialog.h"

#include <cstring>

#include "cycle/programming_cycle.h"
#include "state/shared_state.h"

namespace {
const char* const kRed = "\033[1;31m";
const char* const kGreen = "\033[1;32m";
const char* const kPlain = "";

bool IsProgress(const char* text) {
  return std::strncmp(text, "Programming, ", 13) == 0 || std::strncmp(text, "Verifying, ", 11) == 0;
}
}  // namespace

void ConsoleDialog::Line(const std::string& text, const char* colour) {
  if (progressOpen_) std::fputs("\n", out_);
  progressOpen_ = false;
  if (terminal_ && *colour)
    std::fprintf(out_, "%s%s\033[0m\n", colour, text.c_str());
  else
    std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
}

void ConsoleDialog::SetStatusText(const char* text) {
  std::lock_guard<std::mutex> g(m_);
  bool error = g_statusError.load() != 0;
  std::string shown = error ? std::string("! ") + text : std::string(text);
  if (terminal_ && IsProgress(text) && !error) {
    std::fprintf(out_, "\r\033[K%s", shown.c_str());
    std::fflush(out_);
    progressOpen_ = true;
    return;
  }
  bool success = !error && std::strcmp(text, kCycleSucceededText) == 0;
  Line(shown, error ? kRed : success ? kGreen : kPlain);
}

void ConsoleDialog::SetSerialNumberText(const char* text) {
  std::lock_guard<std::mutex> g(m_);
  Line(std::string("Serial Number: ") + text, kPlain);
}

void ConsoleDialog::Finish() {
  std::lock_guard<std::mutex> g(m_);
  if (progressOpen_) std::fputs("\n", out_);
  progressOpen_ = false;
  std::fflush(out_);
}
