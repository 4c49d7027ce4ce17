#include "fault/station.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "app/settings_store.h"
#include "cycle/programming_cycle.h"
#include "state/shared_state.h"
#include "image/firmware_file.h"
#include "isp/port.h"
#include "platform/thread.h"
#include "sim/sim.h"

namespace fault {
namespace {

constexpr int kRecord = 0x1FE8;
const char kSuccess[] = "Programming Completed Successfully.";

bool IsFinalText(const std::string& t) {
  static const std::regex finals(
      "Device not found\\. Check Power, Cable, Free COM\\.|Programming Failed\\.|"
      "Programming Failed at 0x[0-9A-F]{4} \\.|Verify Failed at 0x[0-9A-F]{4}\\.|"
      "Writing Serial Number failed\\.|Programming Completed Successfully\\.|Firmware file access Failed\\.|"
      "Saving Serial Number failed\\.|Serial Number not found\\.");
  return std::regex_match(t, finals);
}

void MakeDir(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  std::filesystem::create_directories(path, ec);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

void CheckingDialog::DoWaitCursor(int delta) {
  raw_ += delta;
  RecordingDialog::DoWaitCursor(delta);
}

std::string RecordSerial(const std::vector<uint8_t>& flash) {
  int n = flash[kRecord];
  if (n < 1 || n > 22) return std::string();
  uint8_t sum = uint8_t(n);
  for (int i = 0; i < n; ++i) sum = uint8_t(sum + flash[kRecord + 1 + i]);
  if (sum != flash[0x1FFF]) return std::string();
  return std::string(flash.begin() + kRecord + 1, flash.begin() + kRecord + 1 + n);
}

std::vector<uint8_t> ProgrammedFlash(const std::vector<uint8_t>& image, const std::string& serial) {
  std::vector<uint8_t> f(8192, 0xFF);
  std::copy(image.begin(), image.end(), f.begin());
  std::string chars = serial;
  chars.resize(22, '\0');  // what the working buffer holds past a short value
  f[kRecord] = 22;
  uint8_t sum = 22;
  for (int i = 0; i < 22; ++i) {
    f[kRecord + 1 + i] = uint8_t(chars[size_t(i)]);
    sum = uint8_t(sum + uint8_t(chars[size_t(i)]));
  }
  f[0x1FFF] = sum;
  return f;
}

Station::Station(std::string dir, std::vector<uint8_t> image)
    : dir_(std::move(dir)), flashPath_(dir_ + "/device.bin"), image_(std::move(image)) {
  hex_ = MakeHex(image_);
  UseFirmwareText(hex_);
  SetProfileName("orvalo-programmer.INI");
  SetRegistryKey("Kestrune");
}

void Station::NewDevice(const std::string& serial, bool locked) {
  serial_ = serial;
  settingsDir_ = dir_ + "/settings-" + std::to_string(++generation_);
  MakeDir(settingsDir_);
  SetSettingsWritable(true);
  std::remove(flashPath_.c_str());
  InstallSim("serial=" + serial + ",flash=" + flashPath_);
  // The simulator makes the device file once a port is opened.
  OpenPort("COM1");
  ClosePort();
  sim::Uninstall();
  if (locked) WriteFile(flashPath_ + ".lock", "\xF9");  // LB1 and LB2 programmed
}

void Station::UseImage(const std::vector<uint8_t>& flash, const std::string& hex) {
  image_ = flash;
  hex_ = hex;
  UseFirmwareText(hex_);
}

std::string Station::DeviceBytes() const { return ReadAll(flashPath_) + ReadAll(flashPath_ + ".lock"); }

// QSettings' INI file, read without QSettings: its in-process cache could
// answer with a value that never reached the file.
std::string Station::StoredSerialOnDisk() const {
  const char* home = std::getenv("XDG_CONFIG_HOME");
  std::string text = ReadAll(std::string(home ? home : "") + "/Kestrune/orvalo-programmer.INI.conf");
  std::smatch m;
  static const std::regex entry("\\[Device\\][^\\[]*?\\nSerial%20Number=([^\\r\\n]*)");
  return std::regex_search(text, m, entry) ? m[1].str() : std::string();
}

void Station::SetSettingsWritable(bool writable) {
  if (writable) {
    setenv("XDG_CONFIG_HOME", settingsDir_.c_str(), 1);
    return;
  }
  std::string blocked = dir_ + "/blocked";
  MakeDir(blocked);
  std::ofstream(blocked + "/Kestrune") << "in the way";
  setenv("XDG_CONFIG_HOME", blocked.c_str(), 1);
}

void Station::SetFirmwareFailsAfter(long n) { UseFirmwareText(hex_, n); }

std::string Station::StoredSerial() const { return GetProfileString("Device", "Serial Number", ""); }

std::string Station::DeviceSerial() const {
  std::ifstream in(flashPath_, std::ios::binary);
  std::vector<uint8_t> flash((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (flash.size() != 8192) return std::string();
  return RecordSerial(flash);
}

void Station::RestoreSerial() {
  std::vector<uint8_t> flash;
  {
    std::ifstream in(flashPath_, std::ios::binary);
    flash.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (flash.size() != 8192) return;
  std::vector<uint8_t> record = ProgrammedFlash({}, serial_);
  std::copy(record.begin() + kRecord, record.end(), flash.begin() + kRecord);
  std::ofstream(flashPath_, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(flash.data()), std::streamsize(flash.size()));
  WriteProfileString("Device", "Serial Number", serial_.c_str());
}

Outcome Station::Cycle(const std::string& faults, bool verify) {
  Outcome o;
  InstallSim("flash=" + flashPath_ + (faults.empty() ? "" : "," + faults));
  CheckingDialog dialog;
  dialog.SetVerify(verify);
  OnStart(&dialog);
  JoinCycleThread();

  sim::Device* device = sim::TheDevice();
  std::vector<StatusLine> lines = dialog.Status();
  o.finalText = lines.empty() ? std::string() : lines.back().text;
  o.success = o.finalText == kSuccess;
  o.locked = device->Locked();
  o.readsLocked = device->ReadsLocked();
  o.flash = device->Flash();
  o.serialShown = dialog.SerialText();
  o.frames = device->Frames();
  o.lines = device->Counts();
  o.part = LastCycleReport().part;
  for (const StatusLine& l : lines) {
    o.exchangeFailed |= l.text == "Serial Number not found.";
    o.erased |= l.text == "Chip Erased.";
  }
  o.report = LastCycleReport();
  auto breach = [&o](const std::string& what) { o.breaches.push_back(what); };

  // 1. Success only on a device that holds exactly the image and the record
  //    of the serial number shown, locked.
  if (o.success) {
    if (device->Flash() != ProgrammedFlash(image_, o.serialShown)) breach("success without image and record");
    if (!o.locked) breach("success unlocked");
  }
  // 2. A final text, drawn red unless it is the success (a stopped cycle
  //    leaves that to the front end that stopped it), and everything handed
  //    back to the operator.
  if (o.report.end == CycleEnd::kStopped) {
    if (o.success) breach("a stopped cycle ended in success");
  } else if (!IsFinalText(o.finalText)) breach("no final text: \"" + o.finalText + "\"");
  else if (lines.back().red == o.success) breach("final text in the wrong colour: " + o.finalText);
  for (const StatusLine& l : lines)
    if (l.text == kSuccess && &l != &lines.back()) breach("success text followed by another");
  if (g_hPort != nullptr) breach("port left open");
  if (!dialog.StartEnabled()) breach("Start left disabled");
  if (!dialog.VerifyEnabled()) breach("Verify left disabled");
  if (dialog.RawCursor() != 0) breach("wait cursor unbalanced: " + std::to_string(dialog.RawCursor()));
  if (g_cycleBusy.load() != 0) breach("g_cycleBusy left set");
  if (plat::RunningThreadCount() != 0) breach("threads left running");
  // 3 (for a cycle that ran through): the record keeps the device's serial.
  if (o.success && !serial_.empty() && o.serialShown != serial_) breach("serial number replaced by " + o.serialShown);
  sim::Uninstall();
  return o;
}

}  // namespace fault
