// The two controls that draw themselves: the status line, whose colour follows
// g_statusError at the moment it is painted, and the web link.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QString>

class StatusLabel : public QFrame {
  Q_OBJECT
 public:
  explicit StatusLabel(QWidget* parent);
  void setText(const QString& text);
  QString text() const { return text_; }
  // The colour the text is painted in now.
  static QColor CurrentColour();

 signals:
  void textChanged(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
};

// Blue text, in the underlined link font when there is one; a press of the
// left button on it emits clicked() once. A double click counts as one click,
// as on the Win32 dialog, where its second press arrives as a double-click
// message that nothing handles.
class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  LinkLabel(const QString& text, QWidget* parent);

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // Time of the last press that emitted clicked(), while a second press
  // within the double-click interval would pair with it.
  ulong lastClickMs_ = 0;
  bool pairOpen_ = false;
};
