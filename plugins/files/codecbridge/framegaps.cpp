#include "framegaps.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

QList<FrameGap> readframegaps(const QString& path, int samplerate, qint64 framebytes, bool lostbeginning,
                              int lostpackets)
{
    QList<FrameGap> gaps;
    QFile file(path);
    if (samplerate < 1 || framebytes < 1 || lostpackets < 1 || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return gaps;
    static const QRegularExpression timebase(QStringLiteral("^#tb 0: (\\d+)/(\\d+)"));
    double tick = 0; // samples per timestamp unit
    struct Packet
    {
        qint64 at;
        qint64 frames;
    };
    std::vector<Packet> packets;
    while (!file.atEnd()) {
        const QString line = QString::fromLatin1(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('#'))) {
            const QRegularExpressionMatch match = timebase.match(line);
            if (match.hasMatch() && match.captured(2).toLongLong() > 0)
                tick = match.captured(1).toDouble() * samplerate / match.captured(2).toDouble();
            continue;
        }
        const QStringList fields = line.split(QLatin1Char(','));
        bool ptsok = false, sizeok = false;
        if (fields.size() < 5 || fields[0].trimmed() != QLatin1String("0"))
            continue;
        const qint64 pts = fields[2].trimmed().toLongLong(&ptsok);
        const qint64 size = fields[4].trimmed().toLongLong(&sizeok);
        if (ptsok && sizeok && size > 0)
            packets.push_back({qint64(std::llround(double(pts) * tick)), size / framebytes});
    }
    if (tick <= 0 || packets.empty() || (packets.size() < 2 && !lostbeginning))
        return gaps;

    // A lost packet is as long as its neighbours; a timestamp rounded to a
    // millisecond is off by far less than half of one.
    std::vector<qint64> lengths;
    for (const Packet& p : packets)
        lengths.push_back(p.frames);
    const qint64 longest = *std::max_element(lengths.begin(), lengths.end());
    std::nth_element(lengths.begin(), lengths.begin() + qsizetype(lengths.size() / 2), lengths.end());
    const qint64 least = std::max<qint64>(std::llround(samplerate * 0.002), lengths[lengths.size() / 2] / 2);
    // No more than the packets given up on could have held (the decoder
    // tells of each once or twice).
    const qint64 most = qint64(lostpackets) * longest + least;

    // Each packet is judged against where the one before it ends on the
    // stream's clock. A jump ahead is a candidate gap; a step back takes as
    // much off the latest candidate, and a packet that stands still (the
    // list holds back a time that went back, by how much it does not say)
    // takes the latest candidate away. The clock is taken up again, unjudged,
    // at the first packet that moves on after standing still.
    std::vector<FrameGap> candidates;
    const auto takeoff = [&](qint64 frames) {
        if (candidates.empty())
            return;
        if (candidates.back().frames - frames < least)
            candidates.pop_back();
        else
            candidates.back().frames -= frames;
    };
    qint64 written = 0;
    qint64 expected = lostbeginning ? std::min<qint64>(0, packets.front().at) : packets.front().at;
    bool stood = false;
    for (size_t i = 0; i < packets.size(); ++i) {
        const Packet& p = packets[i];
        const qint64 step = p.at - expected;
        if (i > 0 && p.at <= packets[i - 1].at) {
            if (!stood)
                takeoff(std::numeric_limits<qint64>::max());
            stood = true;
        } else if (stood) {
            stood = false;
        } else if (step >= least) {
            candidates.push_back({written, step});
        } else if (step <= -least) {
            takeoff(-step);
        }
        written += p.frames;
        expected = p.at + p.frames;
    }
    for (const FrameGap& gap : candidates)
        if (gap.frames <= most)
            gaps.append(gap);
    return gaps;
}

bool insertframegaps(const QString& path, qint64 framebytes, const QList<FrameGap>& gaps, QString* error,
                     const std::function<bool(qint64 done, qint64 total)>& going)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        *error = file.errorString();
        return false;
    }
    const qint64 oldframes = file.size() / framebytes;
    qint64 added = 0;
    for (const FrameGap& gap : gaps)
        added += gap.frames;
    if (!file.resize((oldframes + added) * framebytes)) {
        *error = file.errorString();
        return false;
    }
    // From the end, each stretch moves up by the gaps before it, then its
    // gap is cleared: nothing is overwritten before it has moved.
    std::vector<char> block(1 << 20);
    const qint64 total = (oldframes - gaps.front().at) * framebytes;
    qint64 done = 0;
    for (qsizetype i = gaps.size() - 1; i >= 0; --i) {
        const qint64 first = gaps[i].at * framebytes;
        const qint64 end = (i + 1 < gaps.size() ? gaps[i + 1].at : oldframes) * framebytes;
        const qint64 shift = added * framebytes;
        for (qint64 to = end; to > first;) {
            if (!going(done, total)) {
                error->clear();
                return false;
            }
            const qint64 bytes = std::min<qint64>(qint64(block.size()), to - first);
            to -= bytes;
            if (!file.seek(to) || file.read(block.data(), bytes) != bytes || !file.seek(to + shift)
                || file.write(block.data(), bytes) != bytes) {
                *error = file.errorString();
                return false;
            }
            done += bytes;
        }
        added -= gaps[i].frames;
        std::fill(block.begin(), block.end(), 0);
        for (qint64 at = first + added * framebytes, left = gaps[i].frames * framebytes; left > 0;) {
            const qint64 bytes = std::min<qint64>(qint64(block.size()), left);
            if (!file.seek(at) || file.write(block.data(), bytes) != bytes) {
                *error = file.errorString();
                return false;
            }
            at += bytes;
            left -= bytes;
        }
    }
    if (!file.flush()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
