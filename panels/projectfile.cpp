// Project files.
//
// The XML text (UTF-8) is one element per project and one per row, top row first:
//
//   <korvane-project version="1" samplerate="44100" channels="2" speakermask="3" current="0">
//     <layer name="Voice" active="1" mixsign="1" volume="1" samplerate="44100" channels="2"
//            speakermask="3" start="0" length="2.5" bytes="882000" samples="song.kvx.data/layer1.pcm"/>
//   </korvane-project>
//
// current is the index of the current row (-1: none); mixsign is 1 or -1;
// volume is the linear gain; start and length are seconds; bytes is the size
// of the layer's samples, raw interleaved little-endian 32-bit floats, the
// same as the layer's own sample file. Numbers are written so that they read
// back to the same value.
//
// Where the samples are:
// - ".kvx": `samples` names a file, relative to the project's folder (a saved
//   project's copies in "<name>.kvx.data/") or absolute (a session file, which
//   refers to the layers' own files in the session folder; there `kept` names
//   the file that takes a layer back to its state before an edit that was
//   under way, see layer::keptfile, and `keptmarked` says that it was on the
//   disk then; the root's `recovered` lists the sessions it took over).
// - ".kvp": one file holds everything: the 16 bytes "KORVANE-PROJECT\n", the
//   size of the XML text as 8 bytes little-endian, the XML text, then the
//   samples of every row one after the other; each row's `offset` counts
//   from the first byte after the XML text.
//
// A file of a later version, one whose text or numbers do not hold together,
// a rate outside the editor's (sdk/ratelimit.h), or a ".kvp" whose rows do not fill its
// samples exactly, one after the other, is refused as a whole.
#include "projectfile.h"

#include "sdk/ratelimit.h"

#include <QFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtEndian>
#include <cmath>
#include <limits>

#include "core/buffer.h"
#include "core/globals.h"

namespace {

const QString rootname = QStringLiteral("korvane-project");
const QString layername = QStringLiteral("layer");

// XML cannot carry most control characters, even escaped: a name that holds
// one would make the whole file unreadable.
QString xmlsafe(const QString& text)
{
    QString safe = text;
    for (QChar& c : safe)
        if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            c = QChar(0xFFFD);
    return safe;
}

QString exact(double value)
{
    return QString::number(value, 'g', 17);
}

QString exact(float value)
{
    return QString::number(double(value), 'g', 9);
}

// Reads the attributes of one element; the first one missing or out of
// range stops the reading with its name.
class Attributes
{
public:
    Attributes(const QXmlStreamAttributes& attributes, const QString& element)
        : all(attributes), element(element)
    {
    }
    bool ok() const { return problem.isEmpty(); }
    QString error() const { return problem; }

    qint64 integer(const QString& name, qint64 min, qint64 max, qint64 fallback = 0, bool required = true)
    {
        if (!all.hasAttribute(name) && !required)
            return fallback;
        bool parsed = false;
        const qint64 value = all.value(name).toLongLong(&parsed);
        if (!parsed || value < min || value > max)
            fail(name);
        return parsed ? value : fallback;
    }
    double real(const QString& name, double min, double max)
    {
        bool parsed = false;
        const double value = all.value(name).toDouble(&parsed);
        if (!parsed || !std::isfinite(value) || value < min || value > max) {
            fail(name);
            return 0;
        }
        return value;
    }
    QString text(const QString& name) const { return all.value(name).toString(); }

private:
    void fail(const QString& name)
    {
        if (problem.isEmpty())
            problem = QStringLiteral("the value of \"%1\" in <%2> is missing or out of range").arg(name, element);
    }
    QXmlStreamAttributes all;
    QString element;
    QString problem;
};

constexpr qint64 intmax = std::numeric_limits<int>::max();
constexpr qint64 sizemax = std::numeric_limits<qint64>::max();

bool readrow(QXmlStreamReader& reader, const ProjectData& data, ProjectRow* row, QString* error)
{
    Attributes a(reader.attributes(), layername);
    row->name = a.text(QStringLiteral("name"));
    row->active = a.integer(QStringLiteral("active"), 0, 1) == 1;
    row->mixsign = int(a.integer(QStringLiteral("mixsign"), -1, 1));
    row->volume = float(a.real(QStringLiteral("volume"), 0.0, double(std::numeric_limits<float>::max())));
    row->samplerate = int(a.integer(QStringLiteral("samplerate"), data.samplerate, data.samplerate));
    row->channels = int(a.integer(QStringLiteral("channels"), data.channels, data.channels));
    row->speakermask = int(a.integer(QStringLiteral("speakermask"), 0, intmax));
    row->start = a.real(QStringLiteral("start"), -unsettime, unsettime);
    row->length = a.real(QStringLiteral("length"), 0.0, unsettime);
    row->bytes = a.integer(QStringLiteral("bytes"), 0, sizemax);
    row->offset = a.integer(QStringLiteral("offset"), 0, sizemax, 0, false);
    row->samples = a.text(QStringLiteral("samples"));
    row->kept = a.text(QStringLiteral("kept"));
    row->keptmarked = a.integer(QStringLiteral("keptmarked"), 0, 1, 0, false) == 1;
    if (a.ok() && row->mixsign == 0)
        *error = QStringLiteral("a layer has the mix sign 0");
    else if (a.ok() && row->bytes % (qint64(row->channels) * 4) != 0)
        *error = QStringLiteral("the samples of layer \"%1\" are not whole frames").arg(row->name);
    else if (!a.ok())
        *error = a.error();
    return error->isEmpty();
}

} // namespace

bool xmlcarries(const QString& text)
{
    return xmlsafe(text) == text;
}

QByteArray projectxml(const ProjectData& data)
{
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(rootname);
    writer.writeAttribute(QStringLiteral("version"), QString::number(projectversion));
    writer.writeAttribute(QStringLiteral("samplerate"), QString::number(data.samplerate));
    writer.writeAttribute(QStringLiteral("channels"), QString::number(data.channels));
    writer.writeAttribute(QStringLiteral("speakermask"), QString::number(data.speakermask));
    writer.writeAttribute(QStringLiteral("current"), QString::number(data.current));
    if (!data.project.isEmpty() && xmlcarries(data.project))
        writer.writeAttribute(QStringLiteral("project"), data.project);
    if (!data.recovered.isEmpty())
        writer.writeAttribute(QStringLiteral("recovered"), data.recovered.join(QLatin1Char(' ')));
    for (const ProjectRow& row : data.rows) {
        writer.writeEmptyElement(layername);
        writer.writeAttribute(QStringLiteral("name"), xmlsafe(row.name));
        writer.writeAttribute(QStringLiteral("active"), row.active ? QStringLiteral("1") : QStringLiteral("0"));
        writer.writeAttribute(QStringLiteral("mixsign"), QString::number(row.mixsign));
        writer.writeAttribute(QStringLiteral("volume"), exact(row.volume));
        writer.writeAttribute(QStringLiteral("samplerate"), QString::number(row.samplerate));
        writer.writeAttribute(QStringLiteral("channels"), QString::number(row.channels));
        writer.writeAttribute(QStringLiteral("speakermask"), QString::number(row.speakermask));
        writer.writeAttribute(QStringLiteral("start"), exact(row.start));
        writer.writeAttribute(QStringLiteral("length"), exact(row.length));
        writer.writeAttribute(QStringLiteral("bytes"), QString::number(row.bytes));
        if (row.samples.isEmpty())
            writer.writeAttribute(QStringLiteral("offset"), QString::number(row.offset));
        else
            writer.writeAttribute(QStringLiteral("samples"), row.samples);
        if (!row.kept.isEmpty() && xmlcarries(row.kept)) {
            writer.writeAttribute(QStringLiteral("kept"), row.kept);
            if (row.keptmarked)
                writer.writeAttribute(QStringLiteral("keptmarked"), QStringLiteral("1"));
        }
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml;
}

bool readprojectxml(const QByteArray& xml, ProjectData* data, QString* error)
{
    *data = ProjectData();
    error->clear();
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement() || reader.name() != rootname) {
        *error = QStringLiteral("It is not a Korvane project.");
        return false;
    }
    Attributes a(reader.attributes(), rootname);
    const qint64 version = a.integer(QStringLiteral("version"), 1, intmax);
    if (a.ok() && version > projectversion) {
        *error = QStringLiteral("It was saved by a later version of the program (format %1).").arg(version);
        return false;
    }
    data->samplerate = int(a.integer(QStringLiteral("samplerate"), 1, intmax));
    if (a.ok() && data->samplerate > maxsamplerate) {
        *error = QStringLiteral("Its sample rate of %1 Hz is outside the rates this program edits (%2).")
                     .arg(data->samplerate)
                     .arg(samplerateslimits());
        *data = ProjectData();
        return false;
    }
    data->channels = int(a.integer(QStringLiteral("channels"), 1, Buffer::maxchannels));
    data->speakermask = int(a.integer(QStringLiteral("speakermask"), 0, intmax));
    data->current = int(a.integer(QStringLiteral("current"), -1, intmax));
    data->project = a.text(QStringLiteral("project"));
    data->recovered = a.text(QStringLiteral("recovered")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString problem = a.error();
    while (problem.isEmpty() && reader.readNextStartElement()) {
        if (reader.name() != layername) {
            reader.skipCurrentElement(); // nothing of ours: a later version's addition
            continue;
        }
        ProjectRow row;
        if (readrow(reader, *data, &row, &problem))
            data->rows.append(row);
        reader.skipCurrentElement();
    }
    if (problem.isEmpty() && reader.hasError())
        problem = QStringLiteral("%1 (line %2)").arg(reader.errorString()).arg(reader.lineNumber());
    if (problem.isEmpty() && data->current >= data->rows.size())
        problem = QStringLiteral("the current row %1 does not exist").arg(data->current);
    if (!problem.isEmpty()) {
        *error = QStringLiteral("It is damaged: %1.").arg(problem);
        *data = ProjectData();
        return false;
    }
    return true;
}

QByteArray kvpheader(qint64 xmlbytes)
{
    QByteArray header(kvpmagic, kvpmagicbytes);
    const quint64 size = qToLittleEndian(quint64(xmlbytes));
    header.append(reinterpret_cast<const char*>(&size), sizeof(size));
    return header;
}

bool readkvp(const QString& fileName, ProjectData* data, QString* error)
{
    *data = ProjectData();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    const QString truncated = QStringLiteral("It is incomplete: the file ends too early.");
    const QByteArray header = file.read(kvpheaderbytes);
    if (!header.startsWith(QByteArray(kvpmagic, kvpmagicbytes))) {
        *error = header.size() < kvpmagicbytes && QByteArray(kvpmagic).startsWith(header) ? truncated
                 : QStringLiteral("It is not a Korvane project.");
        return false;
    }
    if (header.size() < kvpheaderbytes) {
        *error = truncated;
        return false;
    }
    const quint64 xmlbytes = qFromLittleEndian<quint64>(header.constData() + kvpmagicbytes);
    const qint64 size = file.size();
    if (xmlbytes > quint64(size - kvpheaderbytes)) {
        *error = truncated;
        return false;
    }
    const QByteArray xml = file.read(qint64(xmlbytes));
    if (xml.size() != qint64(xmlbytes)) {
        *error = file.errorString();
        return false;
    }
    if (!readprojectxml(xml, data, error))
        return false;
    const qint64 samplesat = kvpheaderbytes + qint64(xmlbytes);
    const qint64 available = size - samplesat;
    // The rows' samples follow one another from the first byte to the last:
    // a size or an offset that is off would give a layer another's audio.
    qint64 next = 0;
    QString problem;
    for (ProjectRow& row : data->rows) {
        if (!row.samples.isEmpty())
            problem = QStringLiteral("It is damaged: a layer refers to another file.");
        else if (row.offset != next)
            problem = QStringLiteral("It is damaged: the samples of layer \"%1\" do not follow those before it.")
                          .arg(row.name);
        else if (row.bytes > available - row.offset)
            problem = truncated;
        if (!problem.isEmpty())
            break;
        next += row.bytes;
        row.samples = fileName;
        row.offset += samplesat;
    }
    if (problem.isEmpty() && next != available)
        problem = QStringLiteral("It is damaged: %1 bytes after the samples of the last layer belong to none.")
                      .arg(available - next);
    if (!problem.isEmpty()) {
        *error = problem;
        *data = ProjectData();
        return false;
    }
    return true;
}
