#include "ui/qt/qt_dialog_ops.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QString>
#include <QThread>

#include "ui/common/cycle_note.h"
#include "ui/qt/dialog_controls.h"
#include "ui/qt/programmer_app.h"
#include "ui/qt/programmer_dialog.h"

void QtDialogOps::OnGuiThread(const std::function<void()>& work) {
  // A blocking call into the own thread would wait for itself forever.
  if (QThread::currentThread() == dialog_->thread())
    work();
  else
    QMetaObject::invokeMethod(dialog_, work, Qt::BlockingQueuedConnection);
}

// Status and serial texts are bytes of the local code page; Latin-1 keeps
// every byte a character.
void QtDialogOps::SetStatusText(const char* text) {
  QString t = QString::fromLatin1(text);
  OnGuiThread([this, t] { dialog_->status()->setText(t); });
}

void QtDialogOps::SetSerialNumberText(const char* text) {
  QString t = QString::fromLatin1(text);
  OnGuiThread([this, t] { dialog_->serialNumber()->setText(t); });
}

void QtDialogOps::EnableStart(bool enable) {
  OnGuiThread([this, enable] { dialog_->EnableStart(enable); });
}

void QtDialogOps::EnableVerify(bool enable) {
  OnGuiThread([this, enable] { dialog_->verifyBox()->setEnabled(enable); });
}

bool QtDialogOps::IsVerifyChecked() {
  bool checked = false;
  OnGuiThread([this, &checked] { checked = dialog_->verifyBox()->isChecked(); });
  return checked;
}

void QtDialogOps::RepaintNow() {
  OnGuiThread([this] { dialog_->repaint(); });
}

void QtDialogOps::DoWaitCursor(int delta) {
  OnGuiThread([delta] { ProgrammerApp::DoWaitCursor(delta); });
}

void QtDialogOps::ShowCycleReport(const CycleReport& report) {
  QString note = QString::fromLocal8Bit(CycleNote(report, dialog_->firmwarePath()).c_str());
  OnGuiThread([this, note] { dialog_->status()->setToolTip(note); });
}
