#include "ui/qt/startup_error.h"

#include <QMessageBox>

#include <cstdio>

void ShowStartupError(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  QMessageBox::critical(nullptr, QStringLiteral("ORVALO_SIM"), QString::fromStdString(text));
}
