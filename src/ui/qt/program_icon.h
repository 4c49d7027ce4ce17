// The program's icon, drawn at any size from one design on a 32-unit square:
// the Windows program's picture (a chip with its pins, a pointer writing into
// it, a progress bar below) with smooth edges instead of its 16-colour pixels.
// The dialog's window and the desktop's icon theme both take it from here.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>

// The sizes the desktop's icon theme is given, smallest first.
constexpr int kProgramIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

QImage ProgramIconImage(int size);
// The same design as a scalable picture (SVG).
QByteArray ProgramIconSvg();
// Every size of kProgramIconSizes, for the window and the task bar.
QIcon ProgramIcon();
