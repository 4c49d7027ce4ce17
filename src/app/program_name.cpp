#include "app/program_name.h"

std::string ProgramBaseName(const std::string& programPath) {
  size_t sep = programPath.find_last_of("\\/:");
  std::string name = sep == std::string::npos ? programPath : programPath.substr(sep + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ApplicationKey(const std::string& programPath) { return ProgramBaseName(programPath) + ".INI"; }
