#include "cli/console_dialog.h"

#include <cerrno>
#include <cstring>

#include "cli/output_text.h"
#include "state/shared_state.h"
#include "state/status_line.h"
#include "state/stop_request.h"

namespace {
const char* const kRed = "\033[1;31m";
const char* const kGreen = "\033[1;32m";
const char* const kPlain = "";
}  // namespace

ConsoleStyle ConsoleStyleFor(bool isTerminal, const char* noColor, const char* term) {
  bool dumb = term && std::strcmp(term, "dumb") == 0;
  ConsoleStyle style;
  style.terminal = isTerminal;
  style.colour = isTerminal && !dumb && !(noColor && *noColor);
  style.clearLine = isTerminal && !dumb;
  return style;
}

// A failed write is remembered once and ends all further output: the cycle is
// asked to stop, and the runner says why on standard error.
void ConsoleDialog::Put(const char* text) {
  if (writeFailed_) return;
  if (writer_) {
    pending_ += text;
    return;
  }
  errno = 0;
  if (std::fputs(text, out_) < 0 || std::ferror(out_)) {
    writeFailed_ = true;
    writeError_ = errno ? std::strerror(errno) : "write error";
    RequestStop();
  }
}

void ConsoleDialog::Flush() {
  if (writeFailed_) return;
  if (writer_) {
    writer_->Send(std::move(pending_), progress_);
    pending_.clear();
    return;
  }
  errno = 0;
  if (std::fflush(out_) != 0 || std::ferror(out_)) {
    writeFailed_ = true;
    writeError_ = errno ? std::strerror(errno) : "write error";
    RequestStop();
  }
}

void ConsoleDialog::Line(const std::string& text, const char* colour) {
  if (progressOpen_) Put("\n");
  progressOpen_ = false;
  if (style_.colour && *colour) {
    Put(colour);
    Put(text.c_str());
    Put("\033[0m\n");
  } else {
    Put(text.c_str());
    Put("\n");
  }
  Flush();
}

void ConsoleDialog::SetStatusText(const char* text) {
  std::lock_guard<std::mutex> g(m_);
  bool error = g_statusError.load() != 0;
  std::string shown = error ? std::string("! ") + text : std::string(text);
  const StatusEntry& entry = StatusEntryOf(ShownStatus());
  bool success = !error && entry.final && !entry.red;
  if (style_.terminal) {
    Line(shown, error ? kRed : success ? kGreen : kPlain);
    return;
  }
  FlushHeldProgress();
  lastPercent_ = -1;
  Logged(shown, error ? kRed : success ? kGreen : kPlain);
}

// A log or a pipe gets each state once: repeated percentages say nothing.
void ConsoleDialog::Logged(const std::string& shown, const char* colour) {
  if (anyPrinted_ && shown == lastPrinted_) return;
  anyPrinted_ = true;
  lastPrinted_ = shown;
  Line(shown, colour);
}

void ConsoleDialog::FlushHeldProgress() {
  if (heldProgress_.empty()) return;
  std::string held;
  held.swap(heldProgress_);
  bool wasProgress = progress_;
  progress_ = true;
  Logged(held, kPlain);
  progress_ = wasProgress;
}

void ConsoleDialog::SetProgressText(const char* text, int percent) {
  std::lock_guard<std::mutex> g(m_);
  if (g_statusError.load() != 0) {  // never so far; shown as any red text
    Line(std::string("! ") + text, kRed);
    return;
  }
  // Whatever this prints may be left out by a writer its reader keeps waiting.
  struct ProgressScope {
    bool& flag;
    ~ProgressScope() { flag = false; }
  } scope{progress_ = true};
  if (style_.terminal) {
    Put("\r");
    if (style_.clearLine) Put("\033[K");
    // Without the erase sequence a shorter text is padded over the longer one.
    std::string padded = text;
    if (!style_.clearLine && padded.size() < progressWidth_) padded.append(progressWidth_ - padded.size(), ' ');
    Put(padded.c_str());
    Flush();
    progressOpen_ = true;
    progressWidth_ = std::strlen(text);
    return;
  }
  // A log keeps the start of a pass, each tenth, and the last percentage it
  // reached, shown before whatever comes next: about a dozen lines a pass.
  bool newPass = percent < lastPercent_;
  if (newPass) FlushHeldProgress();
  if (lastPercent_ < 0 || newPass || percent / 10 != lastPercent_ / 10) {
    heldProgress_.clear();
    Logged(text, kPlain);
  } else {
    heldProgress_ = text;
  }
  lastPercent_ = percent;
}

void ConsoleDialog::SetSerialNumberText(const char* text) {
  std::lock_guard<std::mutex> g(m_);
  Line("Serial Number: " + EscapeForOutput(text), kPlain);
}

void ConsoleDialog::ErrorNote(const std::string& text) {
  std::lock_guard<std::mutex> g(m_);
  FlushHeldProgress();
  Line("! " + text, kRed);
}

void ConsoleDialog::Finish() {
  std::lock_guard<std::mutex> g(m_);
  FlushHeldProgress();
  if (progressOpen_) Put("\n");
  progressOpen_ = false;
  Flush();
}

bool ConsoleDialog::WriteFailed() const {
  std::lock_guard<std::mutex> g(m_);
  return writeFailed_ || (writer_ && writer_->Failed());
}

std::string ConsoleDialog::WriteError() const {
  std::lock_guard<std::mutex> g(m_);
  return writer_ && writer_->Failed() ? writer_->Error() : writeError_;
}
