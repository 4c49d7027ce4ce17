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
// left button on it emits clicked() once.
class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  LinkLabel(const QString& text, QWidget* parent);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};
