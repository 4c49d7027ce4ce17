#include "ui/qt/dialog_controls.h"

#include <QMouseEvent>
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

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clicked();
  QLabel::mousePressEvent(event);
}
