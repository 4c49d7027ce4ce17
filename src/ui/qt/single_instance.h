// One copy of the program per user session: the first copy answers on a local
// socket named after the window title in the user's runtime folder; a later
// start reaches it, asks it to come to the front and ends.
#pragma once

#include <functional>

#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(const QString& key, QObject* parent = nullptr);
  ~SingleInstance() override;

  // true: another copy runs and has been asked to come to the front. false:
  // this copy is the one; from now on it calls onFront whenever a later start
  // asks for it (on this object's thread).
  bool Claim(std::function<void()> onFront);

  // "" when the session has no private runtime folder.
  static QString SocketPath(const QString& key);

 private:
  bool AskRunningCopy();
  QString path_;
  QLocalServer* server_ = nullptr;
  std::function<void()> onFront_;
};
