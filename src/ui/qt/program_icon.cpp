#include "ui/qt/program_icon.h"

// A resource in a static library is registered only when something refers to
// its initialiser; outside any namespace, as the macro requires.
static void InitProgramIconResource() { Q_INIT_RESOURCE(program_icon); }

QIcon ProgramIcon() {
  InitProgramIconResource();
  return QIcon(QStringLiteral(":/programmer.ico"));
}
