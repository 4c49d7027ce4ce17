#include "support/test_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "app/settings_store.h"
#include "cycle/programming_cycle.h"
#include "state/shared_state.h"
#include "state/stop_request.h"
#include "image/firmware_file.h"
#include "image/hex_passes.h"
#include "isp/port.h"
#include "platform/file.h"
#include "platform/memory_file.h"

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void RecordingDialog::SetStatusText(const char* text) {
  {
    std::lock_guard<std::mutex> g(m_);
    status_.push_back({text, g_statusError.load() != 0});
  }
  if (onStatus) onStatus(text);
}
void RecordingDialog::SetSerialNumberText(const char* text) {
  std::lock_guard<std::mutex> g(m_);
  serial_ = text;
}
void RecordingDialog::EnableStart(bool enable) {
  std::lock_guard<std::mutex> g(m_);
  start_ = enable;
}
void RecordingDialog::EnableVerify(bool enable) {
  std::lock_guard<std::mutex> g(m_);
  verify_ = enable;
}
bool RecordingDialog::IsVerifyChecked() {
  std::lock_guard<std::mutex> g(m_);
  ++verifyReads_;
  return checked_;
}
void RecordingDialog::DoWaitCursor(int delta) {
  std::lock_guard<std::mutex> g(m_);
  cursor_ += delta;
  if (cursor_ < 0) cursor_ = 0;
}
std::vector<std::string> RecordingDialog::Texts() const {
  std::vector<std::string> out;
  for (const StatusLine& s : Status()) out.push_back(s.text);
  return out;
}
std::string RecordingDialog::LastText() const {
  std::lock_guard<std::mutex> g(m_);
  return status_.empty() ? std::string() : status_.back().text;
}
bool RecordingDialog::LastRed() const {
  std::lock_guard<std::mutex> g(m_);
  return !status_.empty() && status_.back().red;
}
void RecordingDialog::SetVerify(bool on) {
  std::lock_guard<std::mutex> g(m_);
  checked_ = on;
}

void InstallSim(const std::string& config) {
  std::string text = config.empty() ? "time=virtual" : "time=virtual," + config;
  std::string err = sim::Install(text);
  ASSERT_EQ(err, "") << "ORVALO_SIM " << text;
  sim::TheDevice()->KeepHistory(true);  // tests look back at what crossed the lines
}

std::string TempDir(const std::string& name) {
  namespace fs = std::filesystem;
  const char* base = std::getenv("TEST_TMPDIR");
  std::error_code ec;
  fs::path root = base ? fs::path(base) : fs::temp_directory_path(ec);
  if (ec) root = "/tmp";
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  fs::path dir = root / ("orvalo-" + std::to_string(getpid()) + "-" +
                         (info ? std::string(info->test_suite_name()) + "." + info->name() : "x") + "-" + name);
  fs::remove_all(dir, ec);
  if (!fs::create_directories(dir, ec)) ADD_FAILURE() << "cannot make " << dir.string();
  // Forward slashes throughout: the tests append "/name" and Windows takes both.
  return dir.generic_string();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

void UseIsolatedSettings(const std::string& name) {
  IsolateSettingsStore(TempDir("settings-" + name));
  SetProfileName("orvalo-programmer.INI");
  SetRegistryKey("Kestrune");
}

std::string HexRecord(int count, int address, int type, const std::vector<uint8_t>& data) {
  char buf[16];
  std::snprintf(buf, sizeof buf, ":%02X%04X%02X", count & 0xFF, address & 0xFFFF, type & 0xFF);
  std::string line = buf;
  int sum = count + (address >> 8) + (address & 0xFF) + type;
  for (uint8_t b : data) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    line += buf;
    sum += b;
  }
  std::snprintf(buf, sizeof buf, "%02X", (-sum) & 0xFF);
  return line + buf;
}

std::string MakeHex(const std::vector<uint8_t>& data, int start, int perRecord, const char* lineEnd) {
  std::string text;
  for (size_t i = 0; i < data.size(); i += size_t(perRecord)) {
    size_t n = std::min(size_t(perRecord), data.size() - i);
    std::vector<uint8_t> chunk(data.begin() + long(i), data.begin() + long(i + n));
    text += HexRecord(int(n), start + int(i), 0, chunk) + lineEnd;
  }
  return text + ":00000001FF" + lineEnd;
}

void UseFirmwareText(const std::string& text, long failAfter) {
  g_hFirmware.reset();
  g_firmwareImage.reset();
  if (failAfter < 0) {
    // A real file, opened, read and checked as the front ends do it.
    std::string path = TempDir("firmware") + "/firmware.hex";
    WriteFile(path, text);
    g_hFirmware = OpenFirmwareFile(path.c_str());
    if (g_hFirmware) return;
  }
  // Tests of the passes alone hand them the text as it is, valid or not,
  // counted whole as an open would; reads fail after failAfter bytes.
  g_recordCount = 0;
  for (char c : text)
    if (c == ':') ++g_recordCount;
  g_hFirmware.reset(new plat::MemoryFile(std::vector<uint8_t>(text.begin(), text.end()), failAfter));
  g_firmwareImage.reset(new plat::MemoryFile(std::vector<uint8_t>(text.begin(), text.end()), failAfter));
}

void ResetGlobals() {
  JoinCycleThread();
  ClosePort();
  g_cycleBusy = 0;
  g_statusError = 0;
  g_failAddress = 0;
  g_hFirmware.reset();
  g_firmwareImage.reset();
  g_recordCount = 0;
  ClearStopRequest();
  char* none[] = {const_cast<char*>("prog")};
  plat::SetCommandLineArguments(1, none);  // no arguments after the program's name
}
