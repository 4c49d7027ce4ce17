// The serial port the programming link and the serial-number exchange use.
// Exactly one port is open at a time, in g_hPort.
#pragma once

#include "state/shared_state.h"
#include "platform/serial_port.h"

// 0: open and configured, DTR and RTS asserted, no break.
// -2: the port cannot be opened (absent, in use, refused).
// -3: a configuration step failed; the port is closed again.
int OpenPort(const char* name);

// Closes g_hPort if a port is open and clears it.
void ClosePort();
