#include "ui/qt/dialog_controls.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QPainter>

#include "state/shared_state.h"

StatusLabel::StatusLabel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
}

void StatusLabel::setText(const QString& text) {
  text_ = text;
  update();
  emit textChanged(text_);
}

QColor StatusLabel::CurrentColour() { return g_statusError.load() ? QColor(255, 0, 0) : QColor(0, 0, 0); }

// The flag is read here rather than when the text is set: a line uncovered
// after a failure must come back red, and the writers set the flag before the
// text it belongs to.
void StatusLabel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.setPen(CurrentColour());
  painter.drawText(contentsRect().adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text_);
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
  setPalette(pal);
}

// The text keeps its trailing blank, and with it its place in the middle of
// the control; the underline stops under the last letter.
void LinkLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.setFont(font());
  QString shown = text();
  while (shown.endsWith(QLatin1Char(' '))) shown.chop(1);
  QRect area = contentsRect();
  int left = area.x() + (area.width() - fontMetrics().horizontalAdvance(text())) / 2;
  painter.drawText(QRect(left, area.y(), area.right() - left + 1, area.height()),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
}

// Depending on the platform, the second press of a double click arrives as a
// press followed by a double-click event, or as the double-click event alone;
// neither may open the address a second time. A third press is a new click.
void LinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    ulong now = event->timestamp();
    bool second = pairOpen_ && now - lastClickMs_ < ulong(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    if (second) {
      pairOpen_ = false;
    } else {
      lastClickMs_ = now;
      pairOpen_ = true;
      emit clicked();
    }
  }
  QLabel::mousePressEvent(event);
}

void LinkLabel::mouseDoubleClickEvent(QMouseEvent* event) {
  pairOpen_ = false;
  event->accept();
}
