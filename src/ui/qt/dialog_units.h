// Dialog units to pixels the way the Windows dialog manager converts them, so
// the layout keeps its proportions under whatever font the dialog gets.
#pragma once

#include <QFont>
#include <QRect>

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  int X(int du) const;
  int Y(int du) const;
  QRect Rect(int x, int y, int width, int height) const;

 private:
  int avgWidth_;
  int height_;
};
