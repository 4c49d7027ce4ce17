// What the headless runner says on standard error, beside the status lines on
// standard output: reasons an operator or a script can act on. Every text
// from outside (paths) is escaped as on standard output.
#pragma once

#include <cstdio>
#include <string>

#include "cycle/programming_cycle.h"

// "PATH: line N: what is wrong" (no line for the file as a whole).
void ReportFirmwareProblem(std::FILE* err, const std::string& path, const FirmwareCheck& check);
// A usable image that puts nothing into flash.
void ReportEmptyImage(std::FILE* err, const std::string& path);
// Where the serial number came from; status: the exit status the run ends
// with, named when --strict-serial made it 3.
void ReportSerialSource(std::FILE* err, SerialSource source, int status);
// The system's reason after "Egnition failed.".
void ReportNotStarted(std::FILE* err, const std::string& reason);
// Why the cycle stopped before the erase in the serial-number stage, with the
// device untouched; nothing for the other endings.
void ReportSerialStageEnd(std::FILE* err, CycleEnd end);
// Standard output could not be written, so the cycle was stopped.
void ReportOutputFailed(std::FILE* err, const std::string& reason);
// Interrupted while waiting for standard output's reader after the run.
void ReportOutputNotRead(std::FILE* err);
