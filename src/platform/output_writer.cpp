#include "platform/output_writer.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <system_error>
#include <mutex>
#include <thread>

namespace plat {
namespace {
// About a pass's worth of progress lines on a log; a terminal's in-place
// updates are shorter still.
constexpr size_t kDroppableBacklog = 4096;
constexpr auto kPoll = std::chrono::milliseconds(20);
}  // namespace

struct OutputWriter::Shared {
  std::FILE* out;
  std::function<void()> onFailure;
  std::mutex m;
  std::condition_variable changed;
  std::deque<std::string> queue;
  size_t queuedBytes = 0;
  bool writing = false;  // a text is out of the queue and being written
  bool stop = false;
  bool failed = false;
  std::string error;
  size_t dropped = 0;
  std::thread thread;

  // Returns false on failure, with the system's reason.
  bool Write(const std::string& text, std::string* why) {
    errno = 0;
    if (std::fputs(text.c_str(), out) < 0 || std::fflush(out) != 0 || std::ferror(out)) {
      *why = errno ? std::strerror(errno) : "write error";
      return false;
    }
    return true;
  }

  void Run() {
    std::unique_lock<std::mutex> g(m);
    for (;;) {
      changed.wait(g, [&] { return stop || !queue.empty(); });
      if (queue.empty()) return;
      std::string text = std::move(queue.front());
      queue.pop_front();
      queuedBytes -= text.size();
      writing = true;
      g.unlock();
      std::string why;
      bool ok = Write(text, &why);
      g.lock();
      writing = false;
      if (!ok) Fail(why, &g);
      changed.notify_all();
    }
  }

  void Fail(const std::string& why, std::unique_lock<std::mutex>* g) {
    failed = true;
    error = why;
    queue.clear();
    queuedBytes = 0;
    g->unlock();
    if (onFailure) onFailure();
    g->lock();
  }
};

OutputWriter::OutputWriter(std::FILE* out, std::function<void()> onFailure) : shared_(std::make_shared<Shared>()) {
  shared_->out = out;
  shared_->onFailure = std::move(onFailure);
  try {
    // The thread keeps what it shares alive: it may outlive this object when
    // its reader never comes back.
    std::shared_ptr<Shared> shared = shared_;
    shared_->thread = std::thread([shared] { shared->Run(); });
  } catch (const std::system_error&) {
  }
}

OutputWriter::~OutputWriter() {
  std::unique_lock<std::mutex> g(shared_->m);
  shared_->stop = true;
  shared_->changed.notify_all();
  bool idle = shared_->queue.empty() && !shared_->writing;
  g.unlock();
  if (!shared_->thread.joinable()) return;
  if (idle)
    shared_->thread.join();
  else
    shared_->thread.detach();
}

void OutputWriter::Send(std::string text, bool droppable) {
  std::unique_lock<std::mutex> g(shared_->m);
  if (shared_->failed || text.empty()) return;
  if (!shared_->thread.joinable()) {
    std::string why;
    if (!shared_->Write(text, &why)) shared_->Fail(why, &g);
    return;
  }
  if (droppable && shared_->queuedBytes > kDroppableBacklog) {
    ++shared_->dropped;
    return;
  }
  shared_->queuedBytes += text.size();
  shared_->queue.push_back(std::move(text));
  shared_->changed.notify_all();
}

bool OutputWriter::Drain(const std::function<bool()>& giveUp) {
  std::unique_lock<std::mutex> g(shared_->m);
  for (;;) {
    if (shared_->failed || (shared_->queue.empty() && !shared_->writing)) return true;
    if (giveUp()) return false;
    shared_->changed.wait_for(g, kPoll);
  }
}

bool OutputWriter::Failed() const {
  std::lock_guard<std::mutex> g(shared_->m);
  return shared_->failed;
}

std::string OutputWriter::Error() const {
  std::lock_guard<std::mutex> g(shared_->m);
  return shared_->error;
}

size_t OutputWriter::Dropped() const {
  std::lock_guard<std::mutex> g(shared_->m);
  return shared_->dropped;
}

void OutputWriter::ExitWithoutOutput(int status) {
  std::fflush(stderr);
  std::_Exit(status);
}

}  // namespace plat
