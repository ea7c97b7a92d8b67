#pragma once
// Where a damaged file lost audio. The decoder drops a packet it cannot
// decode, and the raw output closes up over it, moving everything after it
// earlier; the packets' own timestamps still say where they belong. The
// converter lists every decoded packet of its second output (its "framecrc"
// format: "stream, dts, pts, duration, size, hash"), and a jump of the
// timestamps ahead of what was decoded is a gap, filled here with silence of
// its own length so that the rest keeps its time. A damaged timestamp jumps
// as well; it is told apart by what follows: the stream's time going back
// (which the converter's list shows as packets that stand still) undoes the
// jump before it, and no gap is longer than the packets that the decoder
// gave up on could have held.
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

struct FrameGap
{
    qint64 at = 0;     // where the gap begins, in frames of the raw output as written
    qint64 frames = 0; // how long it is
};

// The gaps in the packet list at `path` of the first output stream, whose
// samples are `framebytes` bytes a frame at `samplerate`, for a decode that
// gave up on packets `lostpackets` times. Timestamps that wander by less
// than a few milliseconds (containers that count in milliseconds) are no
// gap. The stream's clock starts at 0; its first packet may lie later
// without a loss (a decoder that takes packets to begin), so audio before
// the first packet counts as lost only when `lostbeginning`.
QList<FrameGap> readframegaps(const QString& path, int samplerate, qint64 framebytes, bool lostbeginning,
                              int lostpackets);

// Inserts each gap into the raw file at `path` as silence, in place (the host
// holds the file open). False, with the reason, when the file cannot grow;
// false without one when going(done, total) (in bytes moved) said to stop:
// then the file is whole only before the first gap.
bool insertframegaps(const QString& path, qint64 framebytes, const QList<FrameGap>& gaps, QString* error,
                     const std::function<bool(qint64 done, qint64 total)>& going);
