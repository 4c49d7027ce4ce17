// The program's icon: the Windows program's 32 x 32, 16-colour icon file,
// compiled in as a Qt resource.
#pragma once

#include <QIcon>

QIcon ProgramIcon();
