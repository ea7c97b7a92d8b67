#include "log.h"

#include <QByteArray>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "globals.h"

namespace {

constexpr int slotsize = 256;
constexpr int ringslots = 300;                 // the last one only takes the end marker
constexpr int lineslots = ringslots - 1;       // slots that take lines in turn
constexpr int ringsize = slotsize * ringslots; // 76800
constexpr int ringcount = 3;
constexpr qint64 filesize = qint64(ringsize) * ringcount; // 230400

enum Ring { plainring = 0, redring = 1, bluering = 2 };

struct RingState {
    uchar* base = nullptr;
    int slot = 0;
};

// One lock around the shared line block and the slot indices. The file object
// stays open, and its mappings valid, until the process ends; only a second
// loginit replaces it.
QMutex logmutex;
QFile* logfile = nullptr;
RingState rings[ringcount];
char lineblock[2 * slotsize];
std::atomic<unsigned char> loglevel{0};

// Only files named like a log count: the user may point the logs folder at a
// folder that holds other documents.
bool islogname(const QString& name)
{
    static const QRegularExpression form(
        QStringLiteral("^[0-9]{4}\\.[0-9]{2}\\.[0-9]{2}-[0-9]{2}\\.[0-9]{2}\\.[0-9]{2}\\.[0-9]{3}\\.htm$"));
    return form.match(name).hasMatch();
}

// Deletes the oldest logs (the start-time names sort in creation order) so that
// with the new one at most logsmax remain. Sub-folders, foreign files, links and
// the current log are never touched; a failed delete is ignored.
void pruneoldlogs(const QString& currentname)
{
    QDir folder(logspath);
    QStringList old;
    const QFileInfoList entries = folder.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || !entry.isFile())
            continue;
        const QString name = entry.fileName();
        if (name != currentname && islogname(name))
            old << name;
    }
    std::sort(old.begin(), old.end());
    const qsizetype keep = std::max(logsmax - 1, 0);
    for (qsizetype i = 0; i + keep < old.size(); ++i)
        QFile::remove(folder.filePath(old.at(i)));
}

// Drops a log opened earlier in this process; only a second loginit gets here.
void closelog()
{
    for (RingState& ring : rings)
        ring = RingState();
    delete logfile; // closing unmaps the rings
    logfile = nullptr;
}

// The line is built to fit its slot whole: when the message is too long it is
// shortened, never inside an entity, and the line keeps its closing tags, so
// the file stays well-formed HTML.
QByteArray formatline(const QString& message, Ring ring)
{
    QByteArray head = "<i>" + QTime::currentTime().toString(QStringLiteral("HH.mm.ss.zzz")).toLatin1() + "</i> ";
    QByteArray tail = "<br>";
    if (ring == redring) {
        head += "<font color=red>";
        tail.prepend("</font>");
    } else if (ring == bluering) {
        head += "<font color=blue>";
        tail.prepend("</font>");
    }
    QByteArray body = message.toHtmlEscaped().toLatin1();
    const qsizetype room = slotsize - head.size() - tail.size();
    if (body.size() > room) {
        qsizetype cut = room;
        const qsizetype amp = body.lastIndexOf('&', cut - 1);
        if (amp >= 0) {
            const qsizetype semicolon = body.indexOf(';', amp);
            if (semicolon < 0 || semicolon >= cut)
                cut = amp;
        }
        body.truncate(cut);
    }
    return head + body + tail;
}

void writeline(const QString& message, Ring ring)
{
    QMutexLocker lock(&logmutex);
    RingState& state = rings[ring];
    if (!state.base)
        return;
    const QByteArray line = formatline(message, ring);
    std::memset(lineblock, 0, sizeof lineblock);
    std::memcpy(lineblock, line.constData(), std::min<size_t>(line.size(), slotsize));
    std::memcpy(lineblock + slotsize, "<br>", 4);
    std::memcpy(state.base + size_t(state.slot) * slotsize, lineblock, sizeof lineblock);
    state.slot = (state.slot + 1) % lineslots;
}

} // namespace

bool loginit(int level)
{
    QMutexLocker lock(&logmutex);
    closelog();
    const QString name = sessionid + QStringLiteral(".htm");
    pruneoldlogs(name);
    loglevel = static_cast<unsigned char>(level & 0xff);

    QFile* file = new QFile(QStringLiteral("%1/%2").arg(logspath, name));
    if (!file->open(QIODevice::ReadWrite | QIODevice::Truncate) || !file->resize(filesize)) {
        delete file;
        return false;
    }
    uchar* bases[ringcount];
    for (int r = 0; r < ringcount; ++r) {
        bases[r] = file->map(qint64(r) * ringsize, ringsize);
        if (!bases[r]) {
            delete file;
            return false;
        }
    }
    for (int r = 0; r < ringcount; ++r) {
        std::memset(bases[r], 0, ringsize);
        rings[r].base = bases[r];
        rings[r].slot = 0;
    }
    logfile = file;
    return true;
}

void logmessage(const QString& message)
{
    qDebug().noquote() << message;
    writeline(message, plainring);
}

void logerror(const QString& message)
{
    if (loglevel < 1)
        return;
    qCritical().noquote() << message;
    writeline(message, redring);
}

void logverbose(const QString& message)
{
    if (loglevel < 2)
        return;
    writeline(message, bluering);
}

QString logfilepath()
{
    QMutexLocker lock(&logmutex);
    return logfile ? logfile->fileName() : QString();
}

bool islogfilename(const QString& name)
{
    return islogname(name);
}
