// Standard output written by a thread of its own, so that nothing the cycle
// says ever waits for the operator: a pipe that is no longer read, a
// terminal held by a selection, a slow log share. Texts are written in the
// order sent. While more than a few KiB wait, texts sent as droppable (a
// pass's progress) are left out; every other text waits its turn however
// long the reader takes. After a failed write nothing more is written.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace plat {

class OutputWriter {
 public:
  // onFailure runs once, on the writer's thread, after the first failed
  // write. Without a thread of its own every text is written at once.
  OutputWriter(std::FILE* out, std::function<void()> onFailure);
  ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  void Send(std::string text, bool droppable);
  // Waits, in real time, until everything sent has been written or a write
  // failed (true), or until giveUp() says so, asked every few ms (false).
  bool Drain(const std::function<bool()>& giveUp);
  bool Failed() const;
  std::string Error() const;
  // How many droppable texts were left out.
  size_t Dropped() const;

  // Ends the process with status at once, for a writer still waiting on its
  // reader after Drain gave up: a normal exit would flush standard output
  // and wait for that reader too. Standard error is flushed first.
  [[noreturn]] static void ExitWithoutOutput(int status);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace plat
