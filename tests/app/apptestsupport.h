#pragma once
// A temporary installation root for shell tests: the plugin folders, filled
// with copies of the test plugins (and the empty plugins of the build) under
// the names that configure them.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QSet>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <vector>

#include "testsupport.h"

// The samples [at, at + n) of s (all of them by default) under a Hann window.
inline std::vector<double> hann(const std::vector<float>& s, size_t at = 0, size_t n = 0)
{
    n = n ? n : s.size() - std::min(at, s.size());
    std::vector<double> w;
    for (size_t i = 0; i < n && at + i < s.size(); ++i)
        w.push_back((0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n))) * s[at + i]);
    return w;
}

// Power at `frequency` (Hz, at 44100 Hz) of a windowed block, by the Goertzel
// recurrence: a block windowed once serves many frequencies.
inline double goertzel(const std::vector<double>& w, double frequency)
{
    const double coefficient = 2 * std::cos(2 * M_PI * frequency / 44100);
    double a = 0, b = 0;
    for (double v : w) {
        const double c = v + coefficient * a - b;
        b = a;
        a = c;
    }
    return a * a + b * b - coefficient * a * b;
}

inline double power(const std::vector<float>& s, double frequency, size_t at = 0, size_t n = 0)
{
    return goertzel(hann(s, at, n), frequency);
}

class FixtureRoot
{
public:
    FixtureRoot()
    {
        for (const char* kind : {"Files", "Devices", "Tools", "Filters"})
            QDir().mkpath(path() + "/Plugins/" + kind);
    }
    QString path() const { return dir.path(); }

    // Copies the test plugin of `kind` ("tool", "device", "filter", "file")
    // to Plugins/<folder>/<relative>; returns the absolute path.
    QString add(const QString& kind, const QString& folder, const QString& relative)
    {
        const QString target = path() + "/Plugins/" + folder + "/" + relative;
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(QStringLiteral(KV_FIXTURE_DIR) + "/fixture" + kind + ".so", target);
        return target;
    }
    // Copies a plugin of the build's own root (e.g. "Tools", "stubbrush").
    QString addbuilt(const QString& folder, const QString& name, const QString& targetfolder)
    {
        const QDir built(QStringLiteral(KV_TEST_ROOT) + "/Plugins/" + folder);
        const QStringList files = built.entryList({name + ".*"}, QDir::Files);
        if (files.isEmpty())
            return QString();
        const QString target = path() + "/Plugins/" + targetfolder + "/" + files.first();
        QFile::copy(built.filePath(files.first()), target);
        return target;
    }
    QString addjunk(const QString& folder, const QString& name)
    {
        const QString target = path() + "/Plugins/" + folder + "/" + name;
        QFile file(target);
        if (file.open(QIODevice::WriteOnly))
            file.write("not a plugin\n");
        return target;
    }

private:
    QTemporaryDir dir;
};

// The lines of one ring of a session log (0 plain, 1 errors, 2 verbose), in
// the order written: one slot per line, "<i>time</i> " first.
inline QStringList loglines(const QString& logfile, int ringindex)
{
    QFile file(logfile);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(qint64(ringindex) * 76800))
        return {};
    const QByteArray ring = file.read(76800);
    QStringList lines;
    for (qsizetype at = 0; at + 256 <= ring.size(); at += 256) {
        QByteArray slot = ring.mid(at, 256);
        slot.truncate(slot.indexOf('\0') < 0 ? slot.size() : slot.indexOf('\0'));
        if (slot.isEmpty())
            break;
        QString line = QString::fromLatin1(slot);
        const qsizetype open = line.indexOf("</i> ");
        if (open < 0)
            continue;
        line = line.mid(open + 5);
        line.chop(line.endsWith("<br>") ? 4 : 0);
        if (line.startsWith("<font color="))
            line = line.mid(line.indexOf('>') + 1).chopped(7); // and "</font>"
        line.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
        lines << line;
    }
    return lines;
}

inline QStringList plainloglines(const QString& logfile)
{
    return loglines(logfile, 0);
}

inline QStringList errorloglines(const QString& logfile)
{
    return loglines(logfile, 1);
}

// True when `expected` appear in `lines` in this order (others may lie between).
inline bool inorder(const QStringList& lines, const QStringList& expected, QString* missing = nullptr)
{
    qsizetype at = 0;
    for (const QString& e : expected) {
        while (at < lines.size() && !lines.at(at).startsWith(e))
            ++at;
        if (at == lines.size()) {
            if (missing)
                *missing = e;
            return false;
        }
        ++at;
    }
    return true;
}

// A spectrogram of the sample: a dark ground with bright lines (the tones and
// the sweep), so bright pixels lie on many rows but cover little of the view.
inline bool spectrogram(const QImage& image)
{
    if (image.isNull() || image.height() < 50)
        return false;
    QSet<int> brightrows;
    qint64 bright = 0, dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > 128 && c.green() > 2 * c.red()) {
                ++bright;
                brightrows.insert(y);
            } else if (c.green() < 40) {
                ++dark;
            }
        }
    const qint64 all = qint64(image.width()) * image.height();
    return brightrows.size() > image.height() / 10 && bright < all / 4 && dark > all / 2;
}
