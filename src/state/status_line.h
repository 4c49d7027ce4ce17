// Every text the status line can show, with how it is drawn and what it says
// about the cycle, and the one way to show one. The error flag g_statusError
// changes in the same step as the text: a front end that reads the flag when
// it draws (or the shown status when it writes) never pairs a text with
// another text's colour.
//
// The resource script includes this file too, for the status line's text in
// the dialog template: it sees the macro only.
#pragma once

// The status line's text from the moment the dialog exists.
#define ORVALO_STATUS_IDLE "Idle."

#ifndef RC_INVOKED
#include <string>

#include "state/dialog_ops.h"

enum class StatusId {
  // The dialog's start-up.
  kIdle,
  kStationInUse,
  kFirmwareUnusable,
  // The cycle, in the order its texts can appear.
  kAutoDetecting,
  kDeviceNotFound,
  kDeviceFound,  // with the port's name
  kSerialOk,
  kSerialNotFound,
  kSerialDefaulted,
  kSerialNotSaved,
  kProgrammingFailed,
  kChipErased,
  kProgramming,  // with the percentage
  kProgrammingFailedAt,  // with the flash byte address
  kVerifying,  // with the percentage
  kVerifyFailedAt,  // with the flash byte address
  kSerialNotWritten,
  kCompleted,
  kNotStarted,  // the cycle's thread could not be started
  // A stop ends the cycle without a text of its own: the line keeps its last
  // text, turned red, and the front end that asked for the stop says why.
  kStopped,
};

struct StatusEntry {
  const char* text;  // a printf format where the status takes an argument; "" for none
  bool red;          // shown with g_statusError set; otherwise cleared, progress aside
  bool progress;     // a pass's percentage: the flag is left as it is
  bool final;        // ends a cycle that ran; only a black one ends it with success
};

const StatusEntry& StatusEntryOf(StatusId status);

// The text as the line shows it: number is the percentage or the flash byte
// address, port the name the device answered on.
std::string StatusText(StatusId status, unsigned number = 0, const std::string& port = std::string());

// Sets or clears g_statusError as the entry says, then writes the text (a
// progress text with its percentage). A status without text writes nothing.
void ShowStatus(DialogOps* dialog, StatusId status, unsigned number = 0, const std::string& port = std::string());

// The status shown last through ShowStatus, for a front end that treats some
// statuses apart (a success drawn green) while it writes the text.
StatusId ShownStatus();
#endif
