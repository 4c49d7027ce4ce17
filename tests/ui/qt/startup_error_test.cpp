// A bad ORVALO_SIM ends the dialog program with its error in a message box
// (an operator who started it from the desktop sees no standard error).
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include "orvalo_version.h"
#include "ui/qt/startup_error.h"
#include "ui_test_support.h"

namespace {

TEST(StartupError, IsShownInAMessageBoxUntilClosed) {
  QString title, text;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    title = box->windowTitle();
    text = box->text();
    box->accept();
  });
  poll.start(10);
  ShowStartupError("ORVALO_SIM: bad value in \"slip=99\" (0 to 31)");
  poll.stop();
  EXPECT_EQ(title, "ORVALO_SIM");
  EXPECT_EQ(text, "ORVALO_SIM: bad value in \"slip=99\" (0 to 31)");
}

// The program itself: with a bad value it waits in the box (it does not just
// end) after naming the item on standard error.
TEST(StartupError, TheProgramWaitsWithTheErrorShown) {
  for (const char* value : {"time=virtual,slip=99", ""}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ORVALO_SIM", value);
    process.setProcessEnvironment(env);
    process.start(ORVALO_PROGRAMMER_PATH, {QString::fromStdString(SampleFirmwarePath())});
    ASSERT_TRUE(process.waitForStarted(10000));
    QString err;
    EXPECT_TRUE(WaitUntil(
        [&] {
          err += QString::fromUtf8(process.readAllStandardError());
          return err.contains("ORVALO_SIM");
        },
        10000))
        << value;
    EXPECT_EQ(process.state(), QProcess::Running) << value;
    if (*value) {
      EXPECT_TRUE(err.contains("\"slip=99\"")) << err.toStdString();
    }
    process.kill();
    process.waitForFinished(5000);
  }
}

// --help and --version are questions, not a firmware file's name: answered on
// standard output without a window, even where no display can be opened.
TEST(StartupError, HelpAndVersionAreAnsweredWithoutTheDialog) {
  for (const char* word : {"--version", "-V", "--help", "-h"}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", ":nowhere");
    env.insert("ORVALO_SIM", "slip=99");
    process.setProcessEnvironment(env);
    process.start(ORVALO_PROGRAMMER_PATH, {word});
    ASSERT_TRUE(process.waitForFinished(10000)) << word;
    std::string out = process.readAllStandardOutput().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << word << process.readAllStandardError().toStdString();
    if (word[1] == 'V' || word[2] == 'v')
      EXPECT_EQ(out, "orvalo-programmer " ORVALO_VERSION "\n") << word;
    else
      EXPECT_EQ(out.rfind("Usage: orvalo-programmer [FIRMWARE]\n", 0), 0u) << word << out;
  }
}

}  // namespace
