// The program's only window: Start, Verify, the serial-number box, the status
// line and the link to the maker. The cycle runs on its own thread and drives
// the controls through ops(); closing is refused while it runs.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QDialog>
#include <QFont>

#include "app/program_title.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class LinkLabel;
class StatusLabel;
class DialogOps;
class QtDialogOps;

class ProgrammerDialog : public QDialog {
  Q_OBJECT
 public:
  // dialogFont: the font the dialog is laid out and drawn in; without one the
  // toolkit's default font is used and the link is not underlined.
  explicit ProgrammerDialog(std::optional<QFont> dialogFont = TemplateFont(), QWidget* parent = nullptr);
  ~ProgrammerDialog() override;

  static QFont TemplateFont();

  DialogOps* ops();
  // Start enabled or disabled by the cycle or the start-up checks.
  void EnableStart(bool enable);
  // The firmware file found at start-up (or the one that could not be used).
  const std::string& firmwarePath() const { return m_firmwarePath; }
  QPushButton* startButton() const { return m_start; }
  QCheckBox* verifyBox() const { return m_verify; }
  QLineEdit* serialNumber() const { return m_serialNumber; }
  StatusLabel* status() const { return m_status; }
  LinkLabel* webLink() const { return m_webLink; }
  const std::optional<QFont>& linkFont() const { return m_linkFont; }

 public slots:
  void accept() override;
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void InitDialog();

  std::optional<QFont> m_dialogFont;
  std::optional<QFont> m_linkFont;
  LinkLabel* m_webLink = nullptr;
  QLineEdit* m_serialNumber = nullptr;
  QPushButton* m_start = nullptr;
  QCheckBox* m_verify = nullptr;
  StatusLabel* m_status = nullptr;
  std::string m_firmwarePath;
  bool m_startBegan = false;  // the cycle running was begun by Start
  std::unique_ptr<QtDialogOps> m_ops;
};
