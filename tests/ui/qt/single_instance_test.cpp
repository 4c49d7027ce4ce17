// One copy per user session: in process, and with the real program twice.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
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

// Without XDG_RUNTIME_DIR the fallback folder in the temporary folder may
// have been made by another local user, with a socket that answers for this
// program: such a folder is never used, and the program runs on its own.
TEST(SingleInstance, AFallbackFolderOfAnotherUserIsNeverUsed) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  passwd* me = getpwuid(geteuid());
  ASSERT_NE(me, nullptr);
  QString fallback = tmp.path() + "/runtime-" + QString::fromLocal8Bit(me->pw_name);
  // Root hands a folder of its own to nobody; anyone else points the
  // fallback at a folder root owns.
  if (geteuid() == 0) {
    ASSERT_TRUE(QDir().mkdir(fallback));
    ASSERT_EQ(chown(fallback.toLocal8Bit().constData(), 65534, 65534), 0);
    ASSERT_EQ(chmod(fallback.toLocal8Bit().constData(), 0777), 0);
  } else {
    ASSERT_TRUE(QFile::link("/", fallback));
  }
  QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), temp = qgetenv("TMPDIR");
  qunsetenv("XDG_RUNTIME_DIR");
  qputenv("TMPDIR", tmp.path().toLocal8Bit());
  QString path = SingleInstance::SocketPath(kKey);
  SingleInstance copy(kKey);
  bool answered = copy.Claim([] {});
  for (auto [name, value] : {std::pair{"XDG_RUNTIME_DIR", runtime}, std::pair{"TMPDIR", temp}})
    value.isNull() ? qunsetenv(name) : qputenv(name, value);
  EXPECT_FALSE(path.startsWith(tmp.path())) << path.toStdString();
  EXPECT_FALSE(answered);
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
