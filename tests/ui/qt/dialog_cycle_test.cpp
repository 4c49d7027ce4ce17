// Cycles driven by clicking Start, on the simulated device. Every status text
// is rendered the moment it arrives, while the cycle thread waits for the GUI
// thread, so the colours recorded are the ones the operator saw.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <vector>

#include "state/shared_state.h"
#include "ui/qt/dialog_controls.h"
#include "ui/qt/programmer_dialog.h"
#include "ui_test_support.h"

namespace {

struct Seen {
  QString text;
  bool red = false, black = false;
  bool startEnabled = true, verifyEnabled = true;
  bool waitCursor = false;
  bool stayedOpen = true;
};

class DialogCycleTest : public DialogTest {
 protected:
  // Starts recording; at `tryClosingAt` every way of closing is tried.
  void Record(ProgrammerDialog& dialog, const QString& tryClosingAt = QString()) {
    QObject::connect(dialog.status(), &StatusLabel::textChanged, &dialog, [this, &dialog, tryClosingAt](const QString& t) {
      Seen s;
      s.text = t;
      QImage image = Painted(dialog.status());
      QRect inside = dialog.status()->contentsRect();
      s.red = CountInk(image, inside, Ink::kRed) > 0;
      s.black = CountInk(image, inside, Ink::kBlack) > 0;
      s.startEnabled = dialog.startButton()->isEnabled();
      s.verifyEnabled = dialog.verifyBox()->isEnabled();
      s.waitCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
      if (t == tryClosingAt) {
        QTest::keyClick(&dialog, Qt::Key_Escape);
        dialog.verifyBox()->setFocus();
        QTest::keyClick(dialog.verifyBox(), Qt::Key_Return);
        dialog.close();  // the close box and Alt+F4
        s.stayedOpen = dialog.isVisible();
      }
      seen.push_back(s);
    });
  }

  static bool Ended(ProgrammerDialog& dialog) {
    return g_cycleBusy.load() == 0 && dialog.startButton()->isEnabled();
  }

  std::string Texts() const {
    std::string all;
    for (const Seen& s : seen) all += s.text.toStdString() + " | ";
    return all + "busy=" + std::to_string(g_cycleBusy.load());
  }

  const Seen* Find(const QString& text) const {
    for (const Seen& s : seen)
      if (s.text == text) return &s;
    return nullptr;
  }

  std::vector<Seen> seen;
};

TEST_F(DialogCycleTest, ClickingStartRunsAFullCycleWithTextsPaintedBlack) {
  UseDevice("serial=AB12CD");
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));
  Record(dialog, "Chip Erased.");

  QTest::mouseClick(dialog.verifyBox(), Qt::LeftButton);
  QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return Ended(dialog); })) << Texts();

  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().text, "Auto Detecting Device ...");
  EXPECT_EQ(seen.back().text, "Programming Completed Successfully.");
  for (const char* text : {"Device found at COM1. Getting Serial Number ...", "Serial Number OK.", "Chip Erased.",
                           "Programming, 100% Completed.", "Verifying, 100% Completed."})
    EXPECT_NE(Find(text), nullptr) << text;

  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(seen[i].text.toStdString());
    EXPECT_TRUE(seen[i].black);
    EXPECT_FALSE(seen[i].red);
    EXPECT_TRUE(seen[i].waitCursor || i + 1 == seen.size());
    // The final text comes before the controls are given back.
    EXPECT_FALSE(seen[i].startEnabled);
    EXPECT_FALSE(seen[i].verifyEnabled);
  }
  const Seen* erased = Find("Chip Erased.");
  ASSERT_NE(erased, nullptr);
  EXPECT_TRUE(erased->stayedOpen);

  EXPECT_TRUE(dialog.serialNumber()->text().startsWith("AB12CD"));
  EXPECT_EQ(dialog.status()->toolTip(), "") << "the device's own number";
  EXPECT_TRUE(dialog.verifyBox()->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Idle again: closing works.
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DialogCycleTest, FailureStaysRedWhenRepaintedAndTheNextCycleStartsBlack) {
  UseDevice("nodevice");
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));
  Record(dialog);

  QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return Ended(dialog); })) << Texts();
  ASSERT_EQ(seen.back().text, "Device not found. Check Power, Cable, Free COM.");
  EXPECT_TRUE(seen.back().red);
  EXPECT_FALSE(seen.back().black);
  EXPECT_EQ(dialog.status()->toolTip(),
            "COM1: opened, but no device answered.\nCOM2: opened, but no device answered.");

  // Uncovered later, the line is drawn red again.
  dialog.hide();
  dialog.show();
  QImage later = Painted(dialog.status());
  EXPECT_GT(CountInk(later, dialog.status()->contentsRect(), Ink::kRed), 0);

  seen.clear();
  QTest::keyClick(&dialog, Qt::Key_S, Qt::AltModifier);
  ASSERT_TRUE(WaitUntil([&] { return !seen.empty(); }, 5000)) << "Alt+S started nothing";
  ASSERT_TRUE(WaitUntil([&] { return Ended(dialog); })) << Texts();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().text, "Auto Detecting Device ...");
  EXPECT_TRUE(seen.front().black);
  EXPECT_FALSE(seen.front().red);
}

TEST_F(DialogCycleTest, MissingSerialNumberIsRedAndTheEraseAfterItBlack) {
  UseDevice("silent");
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));
  Record(dialog, "Serial Number not found.");

  QTest::mouseClick(dialog.startButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return Ended(dialog); })) << Texts();

  const Seen* serial = Find("Serial Number not found.");
  if (!serial) serial = Find("No Serial Number found. Default to Factory.");
  ASSERT_NE(serial, nullptr);
  EXPECT_TRUE(serial->red);
  EXPECT_FALSE(serial->black);
  const Seen* erased = Find("Chip Erased.");
  ASSERT_NE(erased, nullptr);
  EXPECT_TRUE(erased->black);
  EXPECT_FALSE(erased->red);
  EXPECT_EQ(seen.back().text, "Programming Completed Successfully.");
  EXPECT_FALSE(dialog.serialNumber()->text().isEmpty());
  // The black success text alone would not tell that the number was borrowed.
  QString note = dialog.status()->toolTip();
  EXPECT_TRUE(note.contains("not from the device") || note.contains("not the device's own")) << note.toStdString();
}

TEST_F(DialogCycleTest, SecondPressWhileACycleRunsStartsNothing) {
  UseDevice("");
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));
  Record(dialog);
  // Two presses before the cycle thread has had a chance to disable Start.
  dialog.startButton()->click();
  dialog.startButton()->click();
  ASSERT_TRUE(WaitUntil([&] { return Ended(dialog); })) << Texts();
  int starts = 0;
  for (const Seen& s : seen) starts += s.text == "Auto Detecting Device ..." ? 1 : 0;
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(seen.back().text, "Programming Completed Successfully.");
}

}  // namespace
