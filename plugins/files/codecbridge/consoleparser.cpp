#include "consoleparser.h"

#include <QRegularExpression>

#include "speakerlayout.h"

namespace {

constexpr int messagecount = 12;
constexpr qsizetype longestline = 65536;

double clocktime(const QRegularExpressionMatch& match, int first)
{
    return match.captured(first).toInt() * 3600.0 + match.captured(first + 1).toInt() * 60.0
           + match.captured(first + 2).toDouble();
}

// Lines that tell what went wrong, as opposed to the banner, the stream
// descriptions (indented) and the progress.
bool ismessage(const QString& line)
{
    static const char* const chatter[] = {"ffmpeg version", "Input #", "Output #", "Stream mapping:",
                                          "Press [q]", "size=", "video:", "Conversion failed!",
                                          "Guessed Channel Layout"};
    if (line.isEmpty() || line.front().isSpace() || line.contains(QLatin1String("Estimating duration")))
        return false;
    for (const char* prefix : chatter) {
        if (line.startsWith(QLatin1String(prefix)))
            return false;
    }
    return true;
}

} // namespace

void ConsoleParser::reset()
{
    *this = ConsoleParser();
}

int ConsoleParser::feed(const QByteArray& bytes)
{
    int changes = 0;
    pending += bytes;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < pending.size(); ++i) {
        if (pending[i] == '\r' || pending[i] == '\n') {
            if (i > begin)
                changes |= parseline(QString::fromUtf8(pending.constData() + begin, i - begin));
            begin = i + 1;
        }
    }
    pending.remove(0, begin);
    if (pending.size() > longestline) { // no line end in sight: do not hoard it
        changes |= parseline(QString::fromUtf8(pending));
        pending.clear();
    }
    return changes;
}

int ConsoleParser::finish()
{
    const QByteArray rest = pending;
    pending.clear();
    return rest.isEmpty() ? 0 : parseline(QString::fromUtf8(rest));
}

int ConsoleParser::parseline(const QString& line)
{
    static const QRegularExpression durationmarker(
        QStringLiteral("Duration: (\\d+):(\\d\\d):(\\d\\d(?:\\.\\d+)?)"));
    static const QRegularExpression streammarker(QStringLiteral("(\\d+) Hz, ([^,]+)(?:, ([^,]+))?"));
    static const QRegularExpression codecmarker(QStringLiteral(": Audio: ([A-Za-z0-9_]+)"));
    static const QRegularExpression timemarker(
        QStringLiteral("time=(-?)(\\d+):(\\d\\d):(\\d\\d(?:\\.\\d+)?)"));

    // These lines carry the file names, which may hold anything, markers too.
    if (line.startsWith(QLatin1String("Input #"))) {
        section = Section::Input;
        return 0;
    }
    if (line.startsWith(QLatin1String("Output #"))) {
        // The outputs begin with the first decoded audio: packets given up
        // on before were the beginning of the stream.
        if (section != Section::Output && decodeerrors > 0)
            lostbeginning = true;
        section = Section::Output;
        return 0;
    }

    if (line.startsWith(QLatin1String("Stream mapping:")))
        decoding = true;

    int changes = 0;
    if (!durationknown && line.contains(QLatin1String("Duration: "))) {
        const QRegularExpressionMatch match = durationmarker.match(line);
        if (match.hasMatch()) {
            duration = clocktime(match, 1);
            durationknown = true;
            changes |= Duration;
        }
    }
    if (line.contains(QLatin1String("Estimating duration from bitrate")))
        durationestimated = true;
    if (line.startsWith(QLatin1String("Guessed Channel Layout")))
        layoutguessed = true;

    if (line.contains(QLatin1String("Stream #"))) {
        if (section == Section::Input && line.contains(QLatin1String(": Video: "))
            && !line.contains(QLatin1String("attached pic")))
            video = true;
        // The first audio stream of the input describes the source until the
        // output's stream line tells what is really written.
        const bool wanted = section == Section::Output ? !outputstream : samplerate == 0 && channels == 0;
        if (wanted && line.contains(QLatin1String(": Audio: "))) {
            const QRegularExpressionMatch match = streammarker.match(line);
            if (match.hasMatch()) {
                samplerate = match.captured(1).toInt();
                layout = match.captured(2).trimmed();
                if (section == Section::Input) {
                    codec = codecmarker.match(line).captured(1);
                    sampleformat = match.captured(3).trimmed();
                }
                const SpeakerLayout speakers = speakerlayout(layout);
                channels = speakers.channels;
                // A guessed layout carries no knowledge of the speakers: the
                // system's own default for the count fits as well and agrees
                // with the rest of it.
                speakermask = layoutguessed ? defaultspeakermask(channels) : speakers.speakermask;
                outputstream = section == Section::Output;
                changes |= Stream;
            }
        }
    }

    const qsizetype at = line.indexOf(QLatin1String("time="));
    if (at >= 0) {
        const QRegularExpressionMatch match = timemarker.match(line, at);
        if (match.hasMatch()) {
            time = match.captured(1).isEmpty() ? clocktime(match, 2) : 0.0;
            changes |= Time;
        }
    } else if (ismessage(line)) {
        if (decoding) {
            ++decodeproblems;
            // "Error while decoding stream ...", "decode_frame() failed", and
            // the later converters' "Decoding error: ..."
            if (line.contains(QLatin1String("decod"), Qt::CaseInsensitive)
                && (line.contains(QLatin1String("rror")) || line.contains(QLatin1String("failed"))))
                ++decodeerrors;
        }
        messages.append(line.trimmed());
        if (messages.size() > messagecount)
            messages.removeFirst();
    }
    return changes;
}
