// What the cycle benchmarks share: the image they program, the dialog that
// keeps only the last status, and one cycle run as the dialog starts it.
#pragma once

#include <string>

#include "support/silent_dialog.h"

// Intel-HEX text of the bytes 0x0000..end-1 in 16-byte records, no byte 0xFF
// (so every one is written and read back).
std::string BenchImage(int end);

class QuietDialog : public SilentDialog {
 public:
  QuietDialog() { verify = true; }
  void SetStatusText(const char* text) override { last = text; }
  std::string last;
};

// Settings in a folder of the benchmark's own under TMPDIR, and the process
// set up as a front end does; false when the folder cannot be made.
bool BeginBench(const char* folder);

// One cycle with Verify over text, fast or not; its final status text.
std::string RunBenchCycle(bool fast, const std::string& text);
