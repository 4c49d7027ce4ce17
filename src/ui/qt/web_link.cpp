#include "ui/qt/web_link.h"

#include <QDesktopServices>
#include <utility>

namespace {
WebOpener& CurrentOpener() {
  static WebOpener opener;
  return opener;
}
}  // namespace

QUrl WebAddress() { return QUrl(QStringLiteral(ORVALO_WEB_ADDRESS)); }

QString WebLinkText(const QUrl& address) {
  QString text = address.toString(QUrl::RemoveScheme);
  if (text.startsWith(QLatin1String("//"))) text.remove(0, 2);
  while (text.endsWith(QLatin1Char('/'))) text.chop(1);
  return text + QLatin1Char(' ');
}

void OpenWebAddress(const QUrl& address) {
  if (CurrentOpener()) {
    CurrentOpener()(address);
    return;
  }
  // The operator sees the browser or nothing; the result tells him no more.
  QDesktopServices::openUrl(address);
}

WebOpener ReplaceWebOpener(WebOpener opener) { return std::exchange(CurrentOpener(), std::move(opener)); }
