// Running the headless runner as a production script would: through a POSIX
// shell, with its own settings folder, standard output and standard error
// kept apart, the exit status as the shell reports it (128 + N for a signal).
#pragma once

#include <functional>
#include <string>
#include <vector>

struct CliResult {
  int status = -1;
  std::vector<std::string> lines;  // standard output
  std::string out;                 // standard output, whole
  std::string err;                 // standard error, whole
  std::vector<std::string> errors;  // standard error, by line
};

// env: assignments before the program; args: its arguments, shell-quoted by
// the caller. onLine sees each line of standard output as it comes, with the
// runner's process id, and may signal it.
CliResult RunCli(const std::string& env, const std::string& args,
                 std::function<void(const std::string& line, int pid)> onLine = nullptr,
                 const std::string& redirect = "");

// A private copy of the sample image (the runner holds its file exclusively),
// shell-quoted.
std::string Sample();
std::string Quote(const std::string& s);
