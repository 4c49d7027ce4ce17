// The program's icon: the Windows program's own 32 x 32, 16-colour icon
// (src/ui/win32/programmer.ico), built into the program, so that the window,
// the desktop's menu and the Windows program all show one picture.
#pragma once

#include <QIcon>
#include <QImage>

QImage ProgramIconImage();
QIcon ProgramIcon();
