// The wiring between the parts of the simulated device, after simavr's IRQs:
// a part raises a value on a signal it owns, and the parts connected to that
// signal are called in the order they were connected. A level signal calls
// them only when its value changes; an event signal on every Send.
//
// SimTime is the moment of the host operation being carried out; every part
// reads it instead of the clock, so one operation happens at one instant.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace sim {

struct SimTime {
  int64_t now = 0;
};

template <typename T>
class Signal {
 public:
  using Hook = std::function<void(const T&)>;

  explicit Signal(T initial = T{}) : value_(std::move(initial)) {}
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;

  void Connect(Hook hook) { hooks_.push_back(std::move(hook)); }

  // A level: the connected parts hear only a change.
  void Raise(const T& value) {
    if (value == value_) return;
    value_ = value;
    for (const Hook& h : hooks_) h(value_);
  }

  // An event: the connected parts hear every one.
  void Send(const T& value) {
    value_ = value;
    for (const Hook& h : hooks_) h(value_);
  }

  // Sets the level without anyone hearing it, as a line that is simply there
  // when a port opens.
  void Preset(const T& value) { value_ = value; }

  const T& Value() const { return value_; }

 private:
  T value_;
  std::vector<Hook> hooks_;
};

}  // namespace sim
