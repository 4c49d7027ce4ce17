// <windows.h> for the dialog program. Its A/W macros would rename the settings
// store's GetProfileString and WriteProfileString, and winnt.h's
// YieldProcessor the platform's, wherever both are seen together.
#pragma once

#include <windows.h>

#undef GetProfileString
#undef WriteProfileString
#undef YieldProcessor
