// What every front end does to the process before its first cycle, and undoes
// at exit. The settings' application key is the front end's own to set
// (SetProfileName) before the first cycle.
#pragma once

// The finest timer resolution and a raised process priority, the link's delay
// unit for this platform (longer on the Windows 9x family), the settings'
// company key.
void BeginProgrammerProcess();

// Closes the port, releases the firmware file and gives the timer resolution
// back.
void EndProgrammerProcess();
