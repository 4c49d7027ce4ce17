#include "ui/qt/programmer_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "app/firmware_location.h"
#include "app/process_setup.h"
#include "part/target_part.h"
#include "cycle/programming_cycle.h"
#include "state/shared_state.h"
#include "state/status_line.h"
#include "ui/common/cycle_note.h"
#include "ui/qt/dialog_controls.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/program_icon.h"
#include "ui/qt/qt_dialog_ops.h"
#include "ui/qt/web_link.h"

namespace {
const int kDialogWidth = 192, kDialogHeight = 76;  // dialog units
const int kSerialTypingLimit = kSerialLength;

QLabel* StaticText(const char* text, QWidget* parent) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}
}  // namespace

// Where this face is missing, fontconfig substitutes the nearest sans serif,
// and the layout follows that font's metrics through DialogUnits.
QFont ProgrammerDialog::TemplateFont() {
  QFont font(QStringLiteral("MS Sans Serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

ProgrammerDialog::ProgrammerDialog(std::optional<QFont> dialogFont, QWidget* parent)
    : QDialog(parent), m_dialogFont(std::move(dialogFont)), m_ops(std::make_unique<QtDialogOps>(this)) {
  BuildControls();
  InitDialog();
}

// Created in template order, which is also the tab order.
void ProgrammerDialog::BuildControls() {
  setWindowTitle(QString::fromLatin1(kProgrammerTitle));
  // A plain top-level window rather than a dialog window: desktops leave
  // parentless dialogs off the taskbar, and this is the program's only window.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  if (m_dialogFont) setFont(*m_dialogFont);
  DialogUnits du(font());

  StaticText("Serial Number:", this)->setGeometry(du.Rect(5, 22, 50, 10));

  m_start = new QPushButton(QStringLiteral("&Start"), this);
  m_start->setGeometry(du.Rect(5, 38, 45, 15));
  // The reason of the last ending goes with it; the cycle about to run gives
  // its own.
  connect(m_start, &QPushButton::clicked, this, [this] {
    m_startBegan = true;
    m_status->setToolTip(QString());
    OnStart(m_ops.get(), m_ops.get());
  });

  m_verify = new QCheckBox(QStringLiteral("&Verify"), this);
  // The template's 8 units fit the Windows check box, not every style's box
  // and font: it grows to what it needs about the same middle, so that its
  // box and letters are not cut off at the bottom.
  QRect verify = du.Rect(60, 40, 35, 8);
  QSize needed = m_verify->sizeHint().expandedTo(verify.size());
  m_verify->setGeometry(QRect(QPoint(verify.x(), verify.center().y() - (needed.height() - 1) / 2), needed));
  m_verify->setChecked(false);

  m_status = new StatusLabel(this);
  m_status->setGeometry(du.Rect(5, 60, 180, 10));

  m_serialNumber = new QLineEdit(this);
  m_serialNumber->setGeometry(du.Rect(60, 20, 125, 12));
  m_serialNumber->setReadOnly(true);
  // Greyed like a read-only Windows edit box, so that it does not invite typing.
  QPalette readOnly = m_serialNumber->palette();
  readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
  m_serialNumber->setPalette(readOnly);

  m_webLink = new LinkLabel(WebLinkText(WebAddress()), this);
  m_webLink->setGeometry(du.Rect(120, 39, 65, 10));
  connect(m_webLink, &LinkLabel::clicked, this, [] { OpenWebAddress(WebAddress()); });

  StaticText(ORVALO_PART_NUMBER_NOTE, this)->setGeometry(du.Rect(5, 5, 170, 8));

  setFixedSize(du.X(kDialogWidth), du.Y(kDialogHeight));
  // The template's position: the top-left corner of the screen, not wherever
  // the window manager would choose.
  move(0, 0);
}

void ProgrammerDialog::InitDialog() {
  // Another process's cycle on this stored serial number: none of ours.
  bool stationFree = BeginProgrammerProcess() != plat::HoldResult::kBusy;
  setWindowIcon(ProgramIcon());

  if (m_dialogFont) {
    QFont underlined = *m_dialogFont;
    underlined.setUnderline(true);
    m_linkFont = underlined;
    m_webLink->setFont(*m_linkFont);
  }
  // The hand belongs to the link alone; the dialog and the other controls
  // keep the usual pointer.
  m_webLink->setCursor(Qt::PointingHandCursor);

  ShowStatus(ops(), stationFree ? StatusId::kIdle : StatusId::kStationInUse);
  m_start->setEnabled(stationFree);

  // A length limit on the box itself would also cut what the program shows
  // (QLineEdit::setMaxLength truncates setText); a validator limits typing only.
  m_serialNumber->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("^.{0,%1}$").arg(kSerialTypingLimit)), m_serialNumber));

  // Last, so that its failure text replaces "Idle." rather than the reverse.
  FirmwareCheck check;
  bool found = LocateFirmwareFile(ops(), &m_firmwarePath, &check);
  // Which image Start writes, or which file it tried, without a word changed
  // on the status line.
  m_start->setToolTip(QString::fromLocal8Bit(m_firmwarePath.c_str()));
  if (!found) m_status->setToolTip(QString::fromLocal8Bit(FirmwareNote(m_firmwarePath, check).c_str()));
}

// Start is disabled while the cycle it began runs, and the focus moves on to
// the serial-number box, where the next Enter would close the program: the
// operator who started from the keyboard gets Start back.
void ProgrammerDialog::EnableStart(bool enable) {
  m_start->setEnabled(enable);
  if (!enable || !m_startBegan) return;
  m_startBegan = false;
  m_start->setFocus();
}

DialogOps* ProgrammerDialog::ops() { return m_ops.get(); }

ProgrammerDialog::~ProgrammerDialog() {
  // A cycle still running needs this thread to carry out its calls; serve
  // them until it has ended rather than leave it blocked on a dead window.
  while (g_cycleBusy.load()) QApplication::processEvents(QEventLoop::AllEvents, 10);
  JoinCycleThread();
  EndProgrammerProcess();
}

void ProgrammerDialog::accept() {
  if (g_cycleBusy.load()) return;
  QDialog::accept();
}

// Escape, the close box and Alt+F4 all end up here (QDialog::closeEvent).
void ProgrammerDialog::reject() {
  if (g_cycleBusy.load()) return;
  QDialog::reject();
}

// Enter on a focused push button presses it; anywhere else it is the OK
// command, which closes the dialog when no cycle runs.
void ProgrammerDialog::keyPressEvent(QKeyEvent* event) {
  bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !qobject_cast<QPushButton*>(focusWidget())) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

// The window puts itself in front when it appears, so that the operator can
// press Start without first clicking into it.
void ProgrammerDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  activateWindow();
}
