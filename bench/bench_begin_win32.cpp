// How a benchmark keeps its settings apart on Windows: a registry key of its
// process's own, as the tests keep theirs.
#include "app/process_setup.h"
#include "bench_cycle.h"
#include "support/test_support.h"

bool BeginBench(const char* folder) {
  UseIsolatedSettings(folder);
  BeginProgrammerProcess();
  return true;
}
