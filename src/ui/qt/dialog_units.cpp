#include "ui/qt/dialog_units.h"

#include <QFontMetrics>

namespace {
// MulDiv's rounding, which the dialog manager uses.
int MulDiv(int a, int b, int c) { return (a * b + c / 2) / c; }
}  // namespace

// Windows measures the 52 letters and rounds their mean width, not the
// font's own average width, which is often off by a pixel.
DialogUnits::DialogUnits(const QFont& font) {
  QFontMetrics fm(font);
  int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  avgWidth_ = (letters / 26 + 1) / 2;
  height_ = fm.height();
  if (avgWidth_ < 1) avgWidth_ = 1;
  if (height_ < 1) height_ = 1;
}

int DialogUnits::X(int du) const { return MulDiv(du, avgWidth_, 4); }
int DialogUnits::Y(int du) const { return MulDiv(du, height_, 8); }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  // The dialog manager converts a template control's position and its size
  // each on its own (not its far edges, as MapDialogRect would), so a control
  // can come out a pixel narrower or wider than its edges suggest.
  return QRect(X(x), Y(y), X(width), Y(height));
}
