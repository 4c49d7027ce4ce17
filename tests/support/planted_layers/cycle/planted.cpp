// An upward include in angle brackets, beside system and library headers
// that must pass.
#include <sys/ioctl.h>
#include <QtCore/QDir>
#include <cli/options.h>
#include "isp/port.h"
