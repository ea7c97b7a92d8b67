#include "urlopener.h"

#include <QDesktopServices>

namespace {
UrlOpener& opener()
{
    static UrlOpener current;
    return current;
}
} // namespace

bool openurl(const QUrl& url)
{
    if (opener())
        return opener()(url);
    return QDesktopServices::openUrl(url);
}

void seturlopener(UrlOpener o)
{
    opener() = std::move(o);
}
