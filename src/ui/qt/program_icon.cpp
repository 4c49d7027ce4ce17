#include "ui/qt/program_icon.h"

#include "ui/qt/program_icon_data.h"

QImage ProgramIconImage() {
  return QImage::fromData(kProgramIco, sizeof kProgramIco, "ICO").convertToFormat(QImage::Format_ARGB32);
}

QIcon ProgramIcon() { return QIcon(QPixmap::fromImage(ProgramIconImage())); }
