#pragma once
// The one way the shell hands an address to the desktop (its browser). Tests
// set an opener to see the address without starting a browser.
#include <QUrl>
#include <functional>

// Opens the address with the desktop's handler (or the opener set here).
bool openurl(const QUrl& url);

using UrlOpener = std::function<bool(const QUrl&)>;
// An empty opener brings the desktop's handler back.
void seturlopener(UrlOpener opener);
