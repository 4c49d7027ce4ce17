// A request that the running cycle end at its next instruction boundary, as a
// failed cycle ends: from an interrupt of the process (platform/interrupt.h)
// or from a front end that can no longer show the cycle's texts. Checked
// between instructions only, so no four-byte frame is ever cut.
#pragma once

// Asked by a front end; stays until cleared.
void RequestStop();
void ClearStopRequest();
// Either a front end's request or an interrupt of the process.
bool StopRequested();
