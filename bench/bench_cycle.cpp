#include "bench_cycle.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cycle/programming_cycle.h"
#include "isp/fast_mode.h"
#include "platform/memory_file.h"
#include "state/shared_state.h"

std::string BenchImage(int end) {
  std::string text;
  char buf[80];
  for (int a = 0; a < end; a += 16) {
    int n = std::min(16, end - a);
    int sum = n + (a >> 8) + (a & 0xFF);
    std::snprintf(buf, sizeof buf, ":%02X%04X00", n, a);
    text += buf;
    for (int i = 0; i < n; ++i) {
      int b = (a + i) * 37 % 255;  // never 0xFF
      sum += b;
      std::snprintf(buf, sizeof buf, "%02X", b);
      text += buf;
    }
    std::snprintf(buf, sizeof buf, "%02X\r\n", (-sum) & 0xFF);
    text += buf;
  }
  return text + ":00000001FF\r\n";
}

std::string RunBenchCycle(bool fast, const std::string& text) {
  g_recordCount = int32_t(std::count(text.begin(), text.end(), ':'));
  g_hFirmware.reset(new plat::MemoryFile(std::vector<uint8_t>(text.begin(), text.end())));
  SetFastMode(fast);
  QuietDialog dialog;
  OnStart(&dialog);
  JoinCycleThread();
  SetFastMode(false);
  return dialog.last;
}
