#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryFile>

#include "platform/settings_medium.h"

namespace plat {
namespace {

// With a company key: the file where QSettings keeps its native per-user
// settings, $XDG_CONFIG_HOME/<company>/<app>.conf. Without one: the private
// profile file named by the application key, directly in the user's
// configuration folder. The folder is looked up on every use, because
// QSettings fixes its own at first use and would miss a later change of
// XDG_CONFIG_HOME.
QString StorePath(const std::string& company, const std::string& app) {
  QDir dir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
  QString name = QString::fromStdString(app);
  if (!company.empty()) name = QString::fromStdString(company) + "/" + name + ".conf";
  return dir.filePath(name);
}

// QSettings parses each file once per process and shares that copy among all
// its objects on the same path, parsing again only when the file's size or
// time stamp has changed. A value set on that copy stays in it even when it
// could not be written, and every later read on the path would answer with a
// value the disk never held. So nothing is ever set on the store's own path:
// a write edits a draft copy, under a name used once, that replaces the file
// only when it is complete.
bool CopyInto(QFile& from, QFile& to) {
  QByteArray bytes = from.readAll();
  return from.error() == QFileDevice::NoError && to.write(bytes) == bytes.size() && to.flush();
}

// The draft must not carry the time stamp of the file it replaces: with the
// same size too, a copy parsed from the old file would be taken as current.
bool StampAfter(const QString& draft, const QString& replaced) {
  struct stat was, now;
  if (stat(QFile::encodeName(replaced).constData(), &was) != 0) return true;  // nothing replaced
  if (stat(QFile::encodeName(draft).constData(), &now) != 0) return false;
  long long wasMs = was.st_mtim.tv_sec * 1000LL + was.st_mtim.tv_nsec / 1000000;
  long long nowMs = now.st_mtim.tv_sec * 1000LL + now.st_mtim.tv_nsec / 1000000;
  if (nowMs != wasMs) return true;
  timespec times[2] = {{0, UTIME_OMIT}, {time_t((wasMs + 1) / 1000), long((wasMs + 1) % 1000) * 1000000}};
  return utimensat(AT_FDCWD, QFile::encodeName(draft).constData(), times, 0) == 0;
}

}  // namespace

bool ReadSetting(const std::string& company, const std::string& app, const std::string& section,
                 const std::string& entry, std::string* value) {
  QSettings s(StorePath(company, app), QSettings::IniFormat);
  s.beginGroup(QString::fromStdString(section));
  QVariant v = s.value(QString::fromStdString(entry));
  if (!v.isValid()) return false;
  // Latin-1 both ways: whatever bytes were stored come back unchanged.
  *value = v.toString().toLatin1().toStdString();
  return true;
}

bool WriteSetting(const std::string& company, const std::string& app, const std::string& section,
                  const std::string& entry, const std::string& value) {
  QString path = StorePath(company, app);
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QTemporaryFile draft(path + ".XXXXXX");  // removed again unless it took the file's place
  if (!draft.open()) return false;
  QFile current(path);
  if (current.exists()) {
    // A file this user may not write stays as it is, though the folder would
    // let the draft replace it.
    if (!current.open(QIODevice::ReadWrite) || !CopyInto(current, draft)) return false;
    draft.setPermissions(current.permissions());
    current.close();
  }
  draft.close();
  {
    QSettings s(draft.fileName(), QSettings::IniFormat);
    s.beginGroup(QString::fromStdString(section));
    s.setValue(QString::fromStdString(entry), QString::fromLatin1(value.data(), int(value.size())));
    s.endGroup();
    s.sync();
    if (s.status() != QSettings::NoError) return false;
  }
  if (!StampAfter(draft.fileName(), path)) return false;
  return std::rename(QFile::encodeName(draft.fileName()).constData(), QFile::encodeName(path).constData()) == 0;
}

}  // namespace plat
