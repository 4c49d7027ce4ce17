// The maker's web address: the text the link shows and the address a click
// opens in the user's browser. The opener can be replaced (tests count calls
// instead of starting a browser).
#pragma once

#include <functional>

#include <QString>
#include <QUrl>

// The full address, with its scheme (set at configure time).
QUrl WebAddress();
// The short form the link shows: no scheme, no trailing slash, one blank after.
QString WebLinkText(const QUrl& address);

using WebOpener = std::function<void(const QUrl&)>;
// Opens address with the current opener; failures are silent.
void OpenWebAddress(const QUrl& address);
// Installs opener (nullptr: the desktop's browser again); returns the old one.
WebOpener ReplaceWebOpener(WebOpener opener);
