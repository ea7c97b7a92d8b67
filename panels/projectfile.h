#pragma once
// The description of a saved project: its format, the current row and, per
// row, the layer's attributes and where its samples are. projectfile.cpp
// holds the XML text of it and the single-file container around it.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct ProjectRow
{
    QString name;
    bool active = true;
    int mixsign = 1;
    float volume = 1.0f;
    int samplerate = 0;
    int channels = 0;
    int speakermask = 0;
    double start = 0;
    double length = 0;
    // The file that holds the samples: relative to the project's folder or
    // absolute in an XML project; the project file itself once a single-file
    // project has been read.
    QString samples;
    qint64 offset = 0; // where the samples begin in that file
    qint64 bytes = 0;  // how many bytes of samples there are
    // A session file only: the layer's kept file (layer::keptfile), from
    // which an edit that a run did not finish is taken back, and whether it
    // was on the disk when the session file was written (so that one missing
    // later was lost; earlier runs named it before it existed).
    QString kept;
    bool keptmarked = false;
    // Read only: the samples are copied rather than taken over, so that the
    // files stay as they are for the user.
    bool copy = false;
};

struct ProjectData
{
    int samplerate = 0;
    int channels = 0;
    int speakermask = 0;
    int current = -1; // the current row, -1 for none
    QList<ProjectRow> rows;
    // A session file only: the project file the session's work belongs to
    // (empty while it has none), so that a recovered session saves there.
    QString project;
    // A session file only: the ids of the sessions whose work it took over
    // (Recover), which are never to be offered again.
    QStringList recovered;
};

// The version this program writes and the newest it reads.
constexpr int projectversion = 1;

// The XML text of a project.
QByteArray projectxml(const ProjectData& data);

// Whether the XML text carries `text` as it is. Most control characters
// cannot travel in it: a path holding one would name another file when read.
bool xmlcarries(const QString& text);

// Reads and checks the XML text of a project: the structure, the numbers and
// that every row has the project's rate and channel count. False with the
// reason (plain text) in *error.
bool readprojectxml(const QByteArray& xml, ProjectData* data, QString* error);

// The single-file project: a fixed header, the XML text, then the samples.
// The rows' offsets in the XML count from the start of the samples.
constexpr char kvpmagic[] = "KORVANE-PROJECT\n";
constexpr qint64 kvpmagicbytes = sizeof(kvpmagic) - 1;
constexpr qint64 kvpheaderbytes = kvpmagicbytes + 8;

// The header of a single-file project whose XML text has `xmlbytes` bytes.
QByteArray kvpheader(qint64 xmlbytes);

// Reads the header and the XML text of a single-file project from the file
// `fileName`; the rows' samples come out as (fileName, offset in the file).
// Foreign, damaged and truncated files give false and the reason.
bool readkvp(const QString& fileName, ProjectData* data, QString* error);
