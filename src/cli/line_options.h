// The runner's options for production lines: a journal of every run, its
// report, the station a runner stands for, the fast mode, and the way the
// lines are driven.
#pragma once

#include <string>

struct LineOptions {
  std::string journal;        // --journal FILE
  std::string journalReport;  // --journal-report FILE
  std::string station;        // --station NAME
  bool fast = false;          // --fast
  bool lineOperations = false;  // --line-operations
};

// Takes argv[*i] (and the value after it) when it is one of these options,
// moving *i past what it took: 1 taken, 0 not one of them, -1 bad usage with
// the reason in *why.
int TakeLineOption(int argc, char** argv, int* i, LineOptions* options, std::string* why);

// The lines --help shows for them.
extern const char kLineOptionsUsage[];
