#include "support/win32_test_support.h"

#include <windows.h>

#include <thread>
#include <vector>

ChildRun RunChild(const std::string& program, const std::string& commandLine, const char* title,
                  unsigned timeoutMs) {
  ChildRun run;
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::vector<char> title_;
  if (title) {
    title_.assign(title, title + strlen(title) + 1);
    si.lpTitle = title_.data();
  }
  std::vector<char> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back('\0');
  PROCESS_INFORMATION pi;
  run.started = CreateProcessA(program.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  if (!run.started) {
    CloseHandle(readEnd);
    return run;
  }
  // Read while waiting, so that a full pipe cannot stall the child.
  std::string out;
  std::thread reader([&] {
    char buf[512];
    DWORD got;
    // Until the pipe breaks: a read may also end with no bytes on the way.
    while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr)) out.append(buf, got);
  });
  run.finished = WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
  if (!run.finished) TerminateProcess(pi.hProcess, 99);  // a hung child must not hang the test
  GetExitCodeProcess(pi.hProcess, &run.exitCode);
  reader.join();
  CloseHandle(readEnd);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  for (char c : out)
    if (c != '\r') run.output += c;
  return run;
}

std::string TestProgramFolder() {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  std::string path(buf, n);
  return path.substr(0, path.find_last_of("\\/") + 1);
}

void* StartProgram(const std::string& program, const std::string& commandLine, const char* title,
                   const char* currentDir) {
  STARTUPINFOA si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  std::vector<char> title_;
  if (title) {
    title_.assign(title, title + strlen(title) + 1);
    si.lpTitle = title_.data();
  }
  std::vector<char> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back('\0');
  PROCESS_INFORMATION pi;
  if (!CreateProcessA(program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, currentDir, &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string out = "Z:" + path;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}
