#include "cli/diagnostics.h"

#include "cli/output_text.h"

namespace {
const char kProgram[] = "orvalo-programmer-cli";
}  // namespace

void ReportFirmwareProblem(std::FILE* err, const std::string& path, const FirmwareCheck& check) {
  std::string where = EscapeForOutput(path);
  if (check.line > 0)
    std::fprintf(err, "%s: %s: line %ld: %s\n", kProgram, where.c_str(), check.line, check.what.c_str());
  else
    std::fprintf(err, "%s: %s: %s\n", kProgram, where.c_str(), check.what.c_str());
}

void ReportEmptyImage(std::FILE* err, const std::string& path) {
  std::fprintf(err, "%s: warning: %s holds no data byte other than 0xFF: the device will be left erased\n", kProgram,
               EscapeForOutput(path).c_str());
}

void ReportSerialSource(std::FILE* err, SerialSource source, bool strict) {
  const char* what = nullptr;
  switch (source) {
    case SerialSource::kDevice:
      std::fprintf(err, "%s: serial number from the device\n", kProgram);
      return;
    case SerialSource::kStation:
      what = "this station's stored value (the device did not report one)";
      break;
    case SerialSource::kFactory:
      what = "the factory default (the device did not report one and none is stored)";
      break;
    case SerialSource::kNone:
      return;
  }
  std::fprintf(err, "%s: serial number from %s%s\n", kProgram, what, strict ? "; --strict-serial: exit status 3" : "");
}

void ReportNotStarted(std::FILE* err, const std::string& reason) {
  std::fprintf(err, "%s: the cycle's thread could not be started: %s\n", kProgram,
               reason.empty() ? "no reason given" : reason.c_str());
}

// Nothing is collected per port yet; the port layer's reasons go here.
void ReportDeviceNotFound(std::FILE*) {}

void ReportOutputFailed(std::FILE* err, const std::string& reason) {
  std::fprintf(err, "%s: standard output could not be written (%s): the cycle was stopped\n", kProgram, reason.c_str());
}
