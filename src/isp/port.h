// The serial port the programming link and the serial-number exchange use.
// Exactly one port is open at a time, in g_hPort.
#pragma once

#include "state/shared_state.h"
#include "platform/serial_port.h"

constexpr int kPortUnavailable = -2;  // absent, in use or refused
constexpr int kPortSetupFailed = -3;  // a configuration step failed; closed again

// 0: open and configured, DTR and RTS asserted, no break; else one of the
// above.
int OpenPort(const char* name);

// Closes g_hPort if a port is open and clears it.
void ClosePort();
