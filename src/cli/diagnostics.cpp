#include "cli/diagnostics.h"

#include "cli/exit_status.h"
#include "cli/output_text.h"
#include "orvalo_product.h"

namespace {
const char kProgram[] = ORVALO_RUNNER_NAME;
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

void ReportSerialSource(std::FILE* err, SerialSource source, int status) {
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
  std::fprintf(err, "%s: serial number from %s%s\n", kProgram, what,
               status == kExitSerialNotFromDevice ? "; --strict-serial: exit status 3" : "");
}

void ReportNotStarted(std::FILE* err, const std::string& reason) {
  std::fprintf(err, "%s: the cycle's thread could not be started: %s\n", kProgram,
               reason.empty() ? "no reason given" : reason.c_str());
}

void ReportSerialStageEnd(std::FILE* err, CycleEnd end) {
  if (end == CycleEnd::kSerialNotSaved)
    std::fprintf(err,
                 "%s: the serial number the device reported could not be kept in the settings store (read back "
                 "different or not at all); the cycle stopped before the erase, the device is unchanged\n",
                 kProgram);
  if (end == CycleEnd::kSerialNotAsked)
    std::fprintf(err,
                 "%s: this station could not ask the device for its serial number (the exchange could not be "
                 "started: out of system resources?); the cycle stopped before the erase, the device is "
                 "unchanged\n",
                 kProgram);
}

void ReportOutputFailed(std::FILE* err, const std::string& reason) {
  std::fprintf(err, "%s: standard output could not be written (%s): the cycle was stopped\n", kProgram, reason.c_str());
}

void ReportOutputNotRead(std::FILE* err) {
  std::fprintf(err, "%s: interrupted while standard output was not being read: its last lines are lost\n", kProgram);
}
