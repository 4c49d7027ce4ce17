// The dialog at rest: start-up, the link, the serial-number box, closing and
// the wait cursor.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QFontMetrics>
#include <QTest>
#include <QWindow>
#include <vector>

#include "state/shared_state.h"
#include "image/firmware_file.h"
#include "support/test_support.h"
#include "isp/port.h"
#include "orvalo_version.h"
#include "ui/qt/dialog_controls.h"
#include "ui/qt/programmer_app.h"
#include "ui/qt/programmer_dialog.h"
#include "ui/qt/web_link.h"
#include "ui_test_support.h"

using ProgrammerDialogTest = DialogTest;

TEST_F(ProgrammerDialogTest, OpensIdleWithTheTemplatesControlsInTabOrder) {
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));

  EXPECT_EQ(dialog.windowTitle(), "Orvalo Desktop Firmware Programmer");
  ASSERT_FALSE(dialog.windowIcon().isNull());
  EXPECT_EQ(dialog.status()->text(), "Idle.");
  EXPECT_TRUE(dialog.startButton()->isEnabled());
  EXPECT_FALSE(dialog.verifyBox()->isChecked());
  EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());

  // Status "Idle." is painted black.
  QImage status = Painted(dialog.status());
  EXPECT_GT(CountInk(status, dialog.status()->contentsRect(), Ink::kBlack), 0);
  EXPECT_EQ(CountInk(status, dialog.status()->contentsRect(), Ink::kRed), 0);

  std::vector<QString> labels;
  for (QLabel* label : dialog.findChildren<QLabel*>()) labels.push_back(label->text());
  EXPECT_NE(std::find(labels.begin(), labels.end(), "Serial Number:"), labels.end());
  EXPECT_NE(std::find(labels.begin(), labels.end(), "For Part No. RV0058LK00 ONLY."), labels.end());

  // Start has the first focus, Tab walks Start, Verify, the serial-number box.
  EXPECT_EQ(QApplication::focusWidget(), dialog.startButton());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), dialog.verifyBox());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), dialog.serialNumber());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), dialog.startButton());

  // Alt+V ticks Verify.
  // Mnemonics press their button as an animated click, a moment later.
  QTest::keyClick(&dialog, Qt::Key_V, Qt::AltModifier);
  EXPECT_TRUE(WaitUntil([&] { return dialog.verifyBox()->isChecked(); }, 2000));
  EXPECT_TRUE(dialog.verifyBox()->isChecked());
}

TEST_F(ProgrammerDialogTest, MissingFirmwareDisablesStartAndPaintsTheFailureRed) {
  UseFirmwarePath("/nonexistent/firmware.hex");
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));

  EXPECT_EQ(dialog.status()->text(), "Firmware file access Failed.");
  EXPECT_EQ(dialog.status()->toolTip(), "The firmware file /nonexistent/firmware.hex: No such file or directory.");
  EXPECT_EQ(dialog.startButton()->toolTip(), "/nonexistent/firmware.hex");  // the file it tried
  EXPECT_FALSE(dialog.startButton()->isEnabled());
  QImage status = Painted(dialog.status());
  EXPECT_GT(CountInk(status, dialog.status()->contentsRect(), Ink::kRed), 0);
  EXPECT_EQ(CountInk(status, dialog.status()->contentsRect(), Ink::kBlack), 0);

  // Alt+S does not get round the disabled button.
  QTest::keyClick(&dialog, Qt::Key_S, Qt::AltModifier);
  QTest::qWait(300);
  EXPECT_EQ(g_cycleBusy.load(), 0);
  EXPECT_EQ(dialog.status()->text(), "Firmware file access Failed.");

  // Verify and the link still work, and Escape closes.
  int opened = 0;
  ReplaceWebOpener([&](const QUrl&) { ++opened; });
  QTest::mouseClick(dialog.verifyBox(), Qt::LeftButton);
  EXPECT_TRUE(dialog.verifyBox()->isChecked());
  QTest::mouseClick(dialog.webLink(), Qt::LeftButton);
  EXPECT_EQ(opened, 1);
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(ProgrammerDialogTest, ARefusedImageSaysWhereAndWhyBesideTheStatusLine) {
  std::string path = TempDir("refused") + "/firmware.hex";
  WriteFile(path, ":00000001FF\n:0120000011CE\n");
  UseFirmwarePath(path);
  ProgrammerDialog dialog;
  EXPECT_EQ(dialog.status()->text(), "Firmware file access Failed.");
  EXPECT_TRUE(dialog.status()->toolTip().startsWith(QString::fromStdString("The firmware file " + path + ", line 2: ")))
      << dialog.status()->toolTip().toStdString();
}

// The pointer moved across the window as the operator would move it: the
// cursor the window shows is the hand over the link's text and the usual
// arrow everywhere else, the other controls included.
TEST_F(ProgrammerDialogTest, HandCursorOnlyOverTheLink) {
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));
  QWindow* window = dialog.windowHandle();
  ASSERT_NE(window, nullptr);
  QRect link = dialog.webLink()->geometry();
  int overLink = 0, elsewhere = 0;
  for (int y = 1; y < dialog.height(); y += 3) {
    for (int x = 1; x < dialog.width(); x += 3) {
      QTest::mouseMove(window, QPoint(x, y));
      bool hand = window->cursor().shape() == Qt::PointingHandCursor;
      if (link.contains(x, y)) {
        EXPECT_TRUE(hand) << x << "," << y;
        ++overLink;
      } else {
        EXPECT_FALSE(hand) << x << "," << y;
        ++elsewhere;
      }
      if (::testing::Test::HasFailure()) return;
    }
  }
  EXPECT_GT(overLink, 0);
  EXPECT_GT(elsewhere, overLink);
}

// The controls where the template puts them, as the Windows dialog manager
// places them: position and size each converted from dialog units with the
// dialog font's base units (the mean width of the 52 letters, rounded, and
// the font's height), rounding halves up.
TEST_F(ProgrammerDialogTest, ControlsSitAtTheirDialogUnitRectangles) {
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));
  QFontMetrics fm(dialog.font());
  int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  int baseX = (letters / 26 + 1) / 2, baseY = fm.height();
  auto px = [](int du, int base, int div) { return (du * base + div / 2) / div; };
  auto rect = [&](int x, int y, int w, int h) {
    return QRect(px(x, baseX, 4), px(y, baseY, 8), px(w, baseX, 4), px(h, baseY, 8));
  };
  QWidget* serialLabel = nullptr;
  QWidget* notice = nullptr;
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->text() == "Serial Number:") serialLabel = label;
    if (label->text() == "For Part No. RV0058LK00 ONLY.") notice = label;
  }
  ASSERT_NE(serialLabel, nullptr);
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(serialLabel->geometry(), rect(5, 22, 50, 10));
  EXPECT_EQ(dialog.startButton()->geometry(), rect(5, 38, 45, 15));
  // The check box grows about its template rectangle to what it needs, so
  // that nothing of it is cut off (at QT_SCALE_FACTOR 2 too: ctest).
  QRect verify = dialog.verifyBox()->geometry();
  EXPECT_TRUE(verify.contains(rect(60, 40, 35, 8)) && verify.center().y() - rect(60, 40, 35, 8).center().y() <= 1);
  EXPECT_TRUE(verify.contains(QRect(verify.topLeft(), dialog.verifyBox()->sizeHint()))) << verify.height();
  EXPECT_EQ(dialog.status()->geometry(), rect(5, 60, 180, 10));
  EXPECT_EQ(dialog.serialNumber()->geometry(), rect(60, 20, 125, 12));
  EXPECT_EQ(dialog.webLink()->geometry(), rect(120, 39, 65, 10));
  EXPECT_EQ(notice->geometry(), rect(5, 5, 170, 8));
  EXPECT_EQ(dialog.size(), QSize(px(192, baseX, 4), px(76, baseY, 8)));
}

// The template's position: the window opens at the top-left corner of the
// screen, placed there by the program rather than by the window manager.
TEST_F(ProgrammerDialogTest, TheWindowOpensAtTheScreensTopLeftCorner) {
  ProgrammerDialog dialog;
  EXPECT_TRUE(dialog.testAttribute(Qt::WA_Moved));
  ASSERT_TRUE(ShowActive(&dialog));
  EXPECT_EQ(dialog.frameGeometry().topLeft(), QPoint(0, 0));
}

// A double click on the link opens the browser once, whether the toolkit
// reports its second press as a press or as a double click; a click after it
// opens it again.
TEST_F(ProgrammerDialogTest, ADoubleClickOnTheLinkOpensTheAddressOnce) {
  int opened = 0;
  ReplaceWebOpener([&](const QUrl&) { ++opened; });
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));
  QPoint inLink = dialog.webLink()->geometry().center();
  QTest::mouseDClick(dialog.windowHandle(), Qt::LeftButton, {}, inLink);
  EXPECT_EQ(opened, 1);
  // The widget-level form: a click, then the double-click event alone.
  QTest::mouseClick(dialog.webLink(), Qt::LeftButton);
  QTest::mouseDClick(dialog.webLink(), Qt::LeftButton);
  EXPECT_EQ(opened, 2);
  QTest::mouseClick(dialog.webLink(), Qt::LeftButton);
  EXPECT_EQ(opened, 3);
}

TEST_F(ProgrammerDialogTest, EachClickOnTheLinkOpensTheAddressOnceAndNowhereElse) {
  std::vector<QUrl> opened;
  ReplaceWebOpener([&](const QUrl& url) { opened.push_back(url); });
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));

  EXPECT_EQ(dialog.webLink()->text(), WebLinkText(WebAddress()));
  EXPECT_TRUE(dialog.webLink()->text().endsWith(' '));
  EXPECT_FALSE(dialog.webLink()->text().contains("://"));

  QTest::mouseClick(dialog.webLink(), Qt::LeftButton);
  QTest::mouseClick(dialog.webLink(), Qt::LeftButton);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], WebAddress());
  EXPECT_FALSE(WebAddress().scheme().isEmpty());

  // Other controls and bare dialog area open nothing.
  QTest::mouseClick(dialog.status(), Qt::LeftButton);
  QTest::mouseClick(dialog.serialNumber(), Qt::LeftButton);
  QTest::mouseClick(&dialog, Qt::LeftButton, {}, QPoint(dialog.width() - 3, dialog.height() - 3));
  QTest::mouseClick(dialog.webLink(), Qt::RightButton);
  EXPECT_EQ(opened.size(), 2u);
}

TEST_F(ProgrammerDialogTest, LinkIsBlueAndUnderlinedOnlyWithADialogFont) {
  for (bool withFont : {true, false}) {
    SCOPED_TRACE(withFont ? "template font" : "no font");
    ResetGlobals();
    ProgrammerDialog dialog(withFont ? std::optional<QFont>(ProgrammerDialog::TemplateFont()) : std::nullopt);
    ASSERT_TRUE(ShowActive(&dialog));
    EXPECT_EQ(dialog.linkFont().has_value(), withFont);

    QWidget* link = dialog.webLink();
    QImage image = Painted(link);
    EXPECT_GT(CountInk(image, link->rect(), Ink::kBlue), 0);
    // An underline is the only long horizontal run of blue in the text.
    int textWidth = link->fontMetrics().horizontalAdvance(WebLinkText(WebAddress()).trimmed());
    int run = LongestInkRun(image, link->rect(), Ink::kBlue);
    if (withFont) {
      EXPECT_GE(run, textWidth * 3 / 4);
      EXPECT_LE(run, textWidth + 1);  // not under the trailing blank
    }
    else
      EXPECT_LT(run, textWidth / 4);
  }
}

TEST_F(ProgrammerDialogTest, SerialNumberBoxIsReadOnlyAndShowsProgramTextsWhole) {
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));
  QLineEdit* box = dialog.serialNumber();
  EXPECT_TRUE(box->text().isEmpty());
  EXPECT_TRUE(box->isReadOnly());
  // Greyed like the dialog, as a read-only box is on Windows, not white.
  QImage painted = Painted(box);
  EXPECT_EQ(QColor(painted.pixel(box->width() / 2, box->height() / 2)), dialog.palette().color(QPalette::Window));

  box->setFocus();
  QTest::keyClicks(box, "XYZ");
  EXPECT_TRUE(box->text().isEmpty());

  // The typing limit must not cut what the cycle shows.
  dialog.ops()->SetSerialNumberText("ABCDEFGHIJKLMNOPQRSTUVW");
  EXPECT_EQ(box->text(), "ABCDEFGHIJKLMNOPQRSTUVW");

  // Were the box writable, typing would stop at 22 characters.
  box->clear();
  box->setReadOnly(false);
  QTest::keyClicks(box, "123456789012345678901234567890");
  EXPECT_EQ(box->text().size(), 22);
}

TEST_F(ProgrammerDialogTest, EnterClosesUnlessAPushButtonHasTheFocus) {
  UseDevice("nodevice");
  ProgrammerDialog dialog;
  ASSERT_TRUE(ShowActive(&dialog));

  // On Start, Enter presses it.
  dialog.startButton()->setFocus();
  QTest::keyClick(dialog.startButton(), Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([&] { return g_cycleBusy.load() == 0 && dialog.startButton()->isEnabled(); }));
  EXPECT_EQ(dialog.status()->text(), "Device not found. Check Power, Cable, Free COM.");
  EXPECT_TRUE(dialog.isVisible());
  // The cycle Start began gives it the focus back: the next Enter presses it
  // again rather than closing the program.
  EXPECT_EQ(QApplication::focusWidget(), dialog.startButton());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([&] { return g_cycleBusy.load() == 0 && dialog.startButton()->isEnabled(); }));
  EXPECT_TRUE(dialog.isVisible());

  dialog.verifyBox()->setFocus();
  QTest::keyClick(dialog.verifyBox(), Qt::Key_Return);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(ProgrammerDialogTest, DestroyingTheDialogClosesPortAndFirmwareFile) {
  UseDevice("");
  {
    ProgrammerDialog dialog;
    ASSERT_TRUE(g_hFirmware);
    ASSERT_EQ(OpenPort("COM1"), 0);
    ASSERT_NE(g_hPort, nullptr);
  }
  EXPECT_EQ(g_hPort, nullptr);
  EXPECT_FALSE(g_hFirmware);
}

TEST(WaitCursor, IsCountedAndAnEndWithoutABeginLeavesItAtZero) {
  ProgrammerApp::DoWaitCursor(+1);
  ProgrammerApp::DoWaitCursor(+1);
  ProgrammerApp::DoWaitCursor(-1);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ProgrammerApp::DoWaitCursor(-1);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ProgrammerApp::DoWaitCursor(-1);
  EXPECT_EQ(ProgrammerApp::WaitCursorCount(), 0);
  ProgrammerApp::DoWaitCursor(+1);
  EXPECT_NE(QApplication::overrideCursor(), nullptr);
  ProgrammerApp::DoWaitCursor(-1);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Qt's About boxes, crash reports and the desktop read these from the
// application: the build's version, and the installed desktop entry's name.
TEST(ProgrammerAppIdentity, CarriesTheBuildsVersionAndDesktopEntry) {
  ProgrammerApp app;
  EXPECT_EQ(QCoreApplication::applicationVersion().toStdString(), ORVALO_VERSION);
  EXPECT_EQ(QGuiApplication::desktopFileName().toStdString(), "orvalo-programmer");
}

// Drawn at every size the desktop asks for rather than enlarged from 32 x 32
// (the picture is checked against the Windows one with the desktop's icons):
// at 256 a row across the pointer blends navy and white at its slanted edge.
TEST_F(ProgrammerDialogTest, TheWindowShowsTheProgramsIconAtEverySize) {
  ProgrammerDialog dialog;
  for (int n : {16, 24, 32, 48, 64, 128, 256}) EXPECT_TRUE(dialog.windowIcon().availableSizes().contains(QSize(n, n)));
  QImage large = dialog.windowIcon().pixmap(256, 256).toImage().convertToFormat(QImage::Format_RGB32);
  int blended = 0;
  for (int x = 72; x < 150; ++x) blended += large.pixel(x, 100) != qRgb(0, 0, 128) && large.pixel(x, 100) != qRgb(255, 255, 255);
  EXPECT_TRUE(blended >= 1 && blended <= 4) << blended;
}
