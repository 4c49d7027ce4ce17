// Shared helpers for the tests: a dialog that records what the operator would
// have seen, the simulated device on the virtual clock, HEX images made from
// bytes, and a private settings folder per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "sim/sim.h"
#include "support/silent_dialog.h"

// A serial number as a device of this model reports it: 22 characters.
inline constexpr char kSerial[] = "RV0058LK00000000000042";

struct StatusLine {
  std::string text;
  bool red;  // g_statusError when the text was written
};

class RecordingDialog : public SilentDialog {
 public:
  void SetStatusText(const char* text) override;
  void SetSerialNumberText(const char* text) override;
  void EnableStart(bool enable) override;
  void EnableVerify(bool enable) override;
  bool IsVerifyChecked() override;
  void DoWaitCursor(int delta) override;

  std::vector<StatusLine> Status() const { return Read(status_); }
  std::vector<std::string> Texts() const;
  std::string LastText() const;
  bool LastRed() const;
  std::string SerialText() const { return Read(serial_); }
  bool StartEnabled() const { return Read(start_); }
  bool VerifyEnabled() const { return Read(verify_); }
  int WaitCursor() const { return Read(cursor_); }
  int VerifyReads() const { return Read(verifyReads_); }
  void SetVerify(bool on);
  // Called (outside the lock) after each status text.
  std::function<void(const std::string&)> onStatus;
  // Start/Verify states seen while the cycle ran.
  bool sawStartEnabledDuringCycle = false;

 private:
  // The cycle's thread writes what the test's thread reads.
  template <typename T>
  T Read(const T& field) const {
    std::lock_guard<std::mutex> g(m_);
    return field;
  }
  mutable std::mutex m_;
  std::vector<StatusLine> status_;
  std::string serial_;
  bool start_ = true, verify_ = true, checked_ = false;
  int cursor_ = 0, verifyReads_ = 0;
  bool inCycle_ = false;
};

// Installs the simulator with `config` (time=virtual added); fails the test on
// a bad config.
void InstallSim(const std::string& config);

// A port on which every line operation succeeds and nothing ever arrives: a
// test's port overrides only what it scripts.
class QuietPort : public plat::SerialPort {
 public:
  bool SetupQueues(unsigned, unsigned) override { return true; }
  bool ConfigureLine() override { return true; }
  bool SetReadsImmediate() override { return true; }
  bool SetDtr(bool) override { return true; }
  bool SetRts(bool) override { return true; }
  bool SetBreak(bool) override { return true; }
  bool GetCts(bool* asserted) override {
    *asserted = false;
    return true;
  }
  bool ArmBreakWait() override { return true; }
  int WaitBreak() override { return kBreakWaitEnded; }
  void CancelWait() override {}
  void ResetCancel() override {}
  bool TransmitChar(uint8_t) override { return true; }
  int Read(uint8_t*, int) override { return 0; }
};

// The lines of a text, without their ends.
std::vector<std::string> Lines(const std::string& text);

// A fresh, empty folder under the test's temporary folder.
std::string TempDir(const std::string& name);
void WriteFile(const std::string& path, const std::string& text);

// Points the settings store at a private place and sets the keys the programs
// use.
void UseIsolatedSettings(const std::string& name);
// The platform's part of that: the store of this process starts empty, kept
// in or under dir (settings_isolation_*.cpp).
void IsolateSettingsStore(const std::string& dir);
// The store of this process made unwritable (a file stands where its folder
// must go, under dir); false where the platform offers no such means.
bool BlockSettingsStore(const std::string& dir);
// The store made unwritable where it stands, its file (if any) left readable
// as it is, until the end of the running test: no file of this process can
// grow meanwhile, as on a full disk. dir is a folder of the test's own, used
// to prove the block holds; false where the platform offers no such means.
bool BlockSettingsStoreWrites(const std::string& dir);
// Lifts that block before the test ends, for tests that go on writing files.
void UnblockSettingsStoreWrites();

// An Intel-HEX text for `data` at `start`, `perRecord` bytes a record, CR LF
// line ends, ending with the end-of-file record.
std::string MakeHex(const std::vector<uint8_t>& data, int start = 0, int perRecord = 16,
                    const char* lineEnd = "\r\n");
std::string HexRecord(int count, int address, int type, const std::vector<uint8_t>& data);

// Makes a HEX text the firmware file: written to a file and opened as the
// front ends open it; with failAfter >= 0 an in-memory file, counted whole by
// the same step, whose reads in the passes fail after that many bytes.
void UseFirmwareText(const std::string& text, long failAfter = -1);

// Resets the process-wide state a cycle or a start-up leaves behind.
void ResetGlobals();
