// One copy per user session: in process, and with the real program twice.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include "ui/qt/programmer_dialog.h"
#include "ui/qt/single_instance.h"
#include "ui_test_support.h"

namespace {

const QString kKey = QString::fromLatin1(kProgrammerTitle);

TEST(SingleInstance, LaterClaimBringsTheFirstToTheFront) {
  int fronted = 0;
  SingleInstance first(kKey);
  ASSERT_FALSE(first.Claim([&] { ++fronted; }));
  EXPECT_TRUE(QFileInfo::exists(SingleInstance::SocketPath(kKey)));

  SingleInstance second(kKey);
  EXPECT_TRUE(second.Claim([] { ADD_FAILURE() << "the second copy was asked to the front"; }));
  EXPECT_TRUE(WaitUntil([&] { return fronted == 1; }, 5000));
  QTest::qWait(50);
  EXPECT_EQ(fronted, 1);
}

TEST(SingleInstance, LeftoverSocketOfADeadCopyDoesNotCount) {
  QFile leftover(SingleInstance::SocketPath(kKey));
  ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
  leftover.close();
  SingleInstance first(kKey);
  EXPECT_FALSE(first.Claim([] {}));
  SingleInstance second(kKey);
  EXPECT_TRUE(second.Claim([] {}));
}

class ProgramProcess {
 public:
  ProgramProcess() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ORVALO_SIM", "time=virtual");
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
  }
  ~ProgramProcess() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(5000);
    }
  }
  void Start() {
    process.start(ORVALO_PROGRAMMER_PATH, {QString::fromStdString(SampleFirmwarePath())});
  }
  QProcess process;
};

}  // namespace

TEST(SingleInstanceProgram, SecondStartEndsAtOnceWhileTheFirstRuns) {
  const QString socket = SingleInstance::SocketPath(kKey);
  ProgramProcess first;
  first.Start();
  ASSERT_TRUE(first.process.waitForStarted(5000));
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(socket); }, 15000)) << "the first copy never listened";

  ProgramProcess second;
  second.Start();
  ASSERT_TRUE(second.process.waitForFinished(10000)) << "the second copy kept running";
  EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.process.exitCode(), 0);
  EXPECT_EQ(first.process.state(), QProcess::Running);

  // A copy that died leaves its socket behind; the next start runs anyway.
  first.process.kill();
  ASSERT_TRUE(first.process.waitForFinished(5000));
  ProgramProcess third;
  third.Start();
  QTest::qWait(1500);
  EXPECT_EQ(third.process.state(), QProcess::Running) << third.process.readAll().toStdString();
}
