#include <windows.h>

#include <mutex>
#include <string>

#include "platform/port_problem.h"
#include "platform/port_name.h"
#include "platform/serial_port.h"

namespace plat {
namespace {

constexpr int kCancelLimitMs = 1000;

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The system's text for an error code, without its line break, and the code.
std::string SystemMessage(DWORD code) {
  char text[512] = {0};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
    message.pop_back();
  return (message.empty() ? std::string() : message + " ") + "(error " + std::to_string(code) + ")";
}

// Windows answers an open of a port another program holds with access
// denied: serial ports are exclusive, and nothing else denies them.
PortProblem ProblemOfOpenError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return PortProblem::kAbsent;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return PortProblem::kInUse;
    default:
      return PortProblem::kOpenFailed;
  }
}

class Win32Port : public SerialPort {
 public:
  Win32Port(std::string name, HANDLE h) : name_(std::move(name)), h_(h) {}
  ~Win32Port() override { CloseHandle(h_); }

  bool SetupQueues(unsigned inBytes, unsigned outBytes) override {
    return SetupComm(h_, inBytes, outBytes) != 0 || Refused();
  }

  // Only the fields the link needs change; flow control, special characters
  // and the rest stay as the driver reported them.
  bool ConfigureLine() override {
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(h_, &dcb)) return Refused();
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return SetCommState(h_, &dcb) != 0 || Refused();
  }

  bool SetReadsImmediate() override {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 0;
    return SetCommTimeouts(h_, &t) != 0 || Refused();
  }

  bool SetDtr(bool asserted) override { return EscapeCommFunction(h_, asserted ? SETDTR : CLRDTR) != 0; }
  bool SetRts(bool asserted) override { return EscapeCommFunction(h_, asserted ? SETRTS : CLRRTS) != 0; }
  bool SetBreak(bool on) override { return (on ? SetCommBreak(h_) : ClearCommBreak(h_)) != 0; }

  bool GetCts(bool* asserted) override {
    DWORD status = 0;
    if (!GetCommModemStatus(h_, &status)) return false;
    *asserted = (status & MS_CTS_ON) != 0;
    return true;
  }

  bool ArmBreakWait() override { return SetCommMask(h_, EV_BREAK) != 0; }

  // The waiting thread is recorded so that CancelWait can end its wait.
  int WaitBreak() override {
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
      return kBreakWaitEnded;
    {
      std::lock_guard<std::mutex> g(m_);
      if (cancelled_) {
        CloseHandle(self);
        return kBreakWaitCancelled;
      }
      waiter_ = self;
    }
    DWORD events = 0;
    BOOL ok = WaitCommEvent(h_, &events, nullptr);
    bool cancelled;
    {
      std::lock_guard<std::mutex> g(m_);
      waiter_ = nullptr;
      cancelled = cancelled_;
    }
    CloseHandle(self);
    if (cancelled) return kBreakWaitCancelled;
    if (!ok) return kBreakWaitEnded;
    return (events & EV_BREAK) ? kBreakArrived : kBreakWaitEnded;
  }

  // Ends a WaitBreak in progress, by what ends a synchronous WaitCommEvent
  // where the program runs. On Windows that is CancelSynchronousIo on the
  // waiting thread; a SetCommMask from this thread would be queued behind the
  // wait on the synchronous handle. Under Wine CancelSynchronousIo leaves the
  // thread waiting, and SetCommMask(h, 0) from another thread ends the wait.
  // The cancel can land in the instant between the waiter's check and its
  // entry into WaitCommEvent, where it has nothing to end, so it is repeated
  // every millisecond until the waiter has left, for at most kCancelLimitMs.
  void CancelWait() override {
    {
      std::lock_guard<std::mutex> g(m_);
      cancelled_ = true;
    }
    bool wine = RunningUnderWine();
    for (int ms = 0; ms < kCancelLimitMs; ++ms) {
      {
        std::lock_guard<std::mutex> g(m_);
        if (!waiter_) return;
        CancelSynchronousIo(waiter_);
      }
      if (wine) SetCommMask(h_, 0);
      ::Sleep(1);
    }
  }

  void ResetCancel() override {
    std::lock_guard<std::mutex> g(m_);
    cancelled_ = false;
  }

  bool TransmitChar(uint8_t byte) override { return TransmitCommChar(h_, char(byte)) != 0; }

  int Read(uint8_t* buf, int max) override {
    if (max <= 0) return 0;
    DWORD got = 0;
    if (!ReadFile(h_, buf, DWORD(max), &got, nullptr)) return -1;
    return int(got);
  }

 private:
  bool Refused() {
    NotePortProblem(name_, PortNote(PortProblem::kSettingsRefused, std::string(), 0, SystemMessage(GetLastError())));
    return false;
  }

  std::string name_;
  HANDLE h_;
  std::mutex m_;
  HANDLE waiter_ = nullptr;  // the thread inside WaitCommEvent, if any
  bool cancelled_ = false;
};

}  // namespace

// Exclusive (share mode 0), so a port another program holds cannot be opened.
int OpenPlatformPort(const std::string& name, std::unique_ptr<SerialPort>* port) {
  NotePortProblem(name, PortNote());
  if (name.empty()) {
    NotePortProblem(name, PortNote(PortProblem::kAbsent));
    return kPortNotOpened;
  }
  // The plain names reach COM9 only; above it the device namespace is needed.
  std::string device = ComPortNumber(name) >= 10 ? "\\\\.\\" + name : name;
  HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    NotePortProblem(name, PortNote(ProblemOfOpenError(code), std::string(), 0, SystemMessage(code)));
    return kPortNotOpened;
  }
  port->reset(new Win32Port(name, h));
  return 0;
}

}  // namespace plat
