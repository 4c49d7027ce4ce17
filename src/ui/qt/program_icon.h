// The program's icon: a 32 x 32 picture in 16 colours, drawn in code.
#pragma once

#include <QIcon>
#include <QImage>

QImage ProgramIconImage();
QIcon ProgramIcon();
