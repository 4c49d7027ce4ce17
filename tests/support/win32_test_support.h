// Helpers of the Windows tests: starting a program with a chosen command line
// and start-up title and collecting its output.
#pragma once

#include <string>

struct ChildRun {
  bool started = false;
  bool finished = false;
  unsigned long exitCode = 0;
  std::string output;  // standard output, CR LF turned into LF
};

// Runs program with the whole command line commandLine (its own name
// included) and, when title is not null, that start-up title; waits at most
// timeoutMs for it to end.
ChildRun RunChild(const std::string& program, const std::string& commandLine, const char* title,
                  unsigned timeoutMs = 20000);

// Starts program and returns its process handle (nullptr on failure) without
// waiting; currentDir may be null.
void* StartProgram(const std::string& program, const std::string& commandLine, const char* title,
                   const char* currentDir);

// A path as Windows spells it: a Unix path (as CMake hands it over) is reached
// through Wine's drive Z:.
std::string WindowsPath(const std::string& path);

// The folder of the running test program, with a trailing backslash.
std::string TestProgramFolder();
