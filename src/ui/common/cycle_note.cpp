#include "ui/common/cycle_note.h"

#include <cstdio>

#include "part/target_part.h"

namespace {

std::string Sentence(std::string text) {
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

std::string PortLine(const PortProbe& probe) {
  const plat::PortNote& note = probe.note;
  std::string line = probe.name + (note.path.empty() ? "" : " (" + note.path + ")") + ": ";
  switch (probe.result) {
    case ProbeResult::kNotTried:
    case ProbeResult::kAnswered:
      return std::string();
    case ProbeResult::kNoAnswer:
      return line + "opened, but no device answered.";
    case ProbeResult::kSettingsRefused:
      line += "opened, but it refused the line settings.";
      break;
    case ProbeResult::kNotOpened:
      switch (note.problem) {
        case plat::PortProblem::kAbsent: line += "no such port."; break;
        case plat::PortProblem::kPermissionDenied:
          line += "permission denied (the user must be in the dialout group).";
          break;
        case plat::PortProblem::kInUse:
          line += note.holderPid > 0 ? "in use by process " + std::to_string(note.holderPid) + "."
                                     : "in use by another program.";
          break;
        case plat::PortProblem::kNotSerial: line += "not a serial port."; break;
        default: line += "could not be opened."; break;
      }
      break;
  }
  return note.detail.empty() ? line : line + " " + Sentence(note.detail);
}

std::string Signature(const uint8_t* s) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X", s[0], s[1], s[2]);
  return text;
}

void Add(std::string* note, const std::string& line) {
  if (line.empty()) return;
  if (!note->empty()) *note += '\n';
  *note += line;
}

}  // namespace

std::string FirmwareNote(const std::string& path, const FirmwareCheck& check) {
  std::string where = path.empty() ? "The firmware file" : "The firmware file " + path;
  if (check.line > 0) where += ", line " + std::to_string(check.line);
  return where + ": " + Sentence(check.what.empty() ? "not usable" : check.what);
}

std::string CycleNote(const CycleReport& report, const std::string& firmwarePath) {
  std::string note;
  switch (report.end) {
    case CycleEnd::kNoDevice:
      for (const PortProbe& probe : report.ports) Add(&note, PortLine(probe));
      break;
    case CycleEnd::kFirmwareUnusable:
      Add(&note, FirmwareNote(firmwarePath, report.firmware));
      break;
    case CycleEnd::kNotStarted:
      Add(&note, "The cycle could not be started: " +
                     Sentence(report.notStarted.empty() ? "no reason given" : report.notStarted));
      break;
    case CycleEnd::kSerialNotSaved:
      Add(&note,
          "The serial number the device reported could not be kept in this station's settings store. "
          "Nothing was erased: the device keeps its firmware and serial number.");
      break;
    case CycleEnd::kSerialNotAsked:
      Add(&note,
          "This station could not ask the device for its serial number (the exchange could not be started). "
          "Nothing was erased: the device keeps its firmware and serial number.");
      break;
    default:
      break;
  }
  if (report.part == PartCheck::kWrongPart)
    Add(&note, "The part that answered has the signature " + Signature(report.signature) + ", not " +
                   Signature(kTargetPart.signature) + " (" + kTargetPart.name + "). Nothing on it was changed.");
  if (report.part == PartCheck::kWrongAfterErase)
    Add(&note, "After the erase the part reads the signature " + Signature(report.signature) + ", not " +
                   Signature(kTargetPart.signature) + " (" + kTargetPart.name + "). Nothing was written.");
  if (report.serialSource == SerialSource::kStation)
    Add(&note, "The serial number shown was taken from this station's store, not from the device.");
  if (report.serialSource == SerialSource::kFactory)
    Add(&note, "The serial number shown is the factory default, not the device's own.");
  return note;
}
