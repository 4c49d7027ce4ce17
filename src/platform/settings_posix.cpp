#include <memory>

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QString>

#include "platform/settings_medium.h"

namespace plat {
namespace {

// With a company key: the file where QSettings keeps its native per-user
// settings, $XDG_CONFIG_HOME/<company>/<app>.conf. Without one: the private
// profile file named by the application key, directly in the user's
// configuration folder. The folder is looked up on every use, because
// QSettings fixes its own at first use and would miss a later change of
// XDG_CONFIG_HOME.
std::unique_ptr<QSettings> Open(const std::string& company, const std::string& app) {
  QDir dir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
  QString name = QString::fromStdString(app);
  if (!company.empty()) name = QString::fromStdString(company) + "/" + name + ".conf";
  return std::make_unique<QSettings>(dir.filePath(name), QSettings::IniFormat);
}

}  // namespace

bool ReadSetting(const std::string& company, const std::string& app, const std::string& section,
                 const std::string& entry, std::string* value) {
  auto s = Open(company, app);
  s->beginGroup(QString::fromStdString(section));
  QVariant v = s->value(QString::fromStdString(entry));
  if (!v.isValid()) return false;
  // Latin-1 both ways: whatever bytes were stored come back unchanged.
  *value = v.toString().toLatin1().toStdString();
  return true;
}

bool WriteSetting(const std::string& company, const std::string& app, const std::string& section,
                  const std::string& entry, const std::string& value) {
  auto s = Open(company, app);
  s->beginGroup(QString::fromStdString(section));
  s->setValue(QString::fromStdString(entry), QString::fromLatin1(value.data(), int(value.size())));
  s->endGroup();
  s->sync();
  return s->status() == QSettings::NoError;
}

}  // namespace plat
