#pragma once
// The layers of a project written to project files (projectfile.h), and
// layers made from what a project file describes. Every write goes to a new
// file beside the old one that takes its place only once it is complete, so
// a failed save leaves the old project as it was.
#include <QList>
#include <QString>
#include <QStringList>

#include "projectfile.h"

class layer;

// What is saved: the rows' layers from the top, the current row and the format.
struct ProjectLayers
{
    QList<layer*> rows;
    int current = -1;
    int samplerate = 0;
    int channels = 0;
    int speakermask = 0;
    QString project; // the project file of a session file, see ProjectData
    QStringList recovered; // likewise
};

// The bytes of samples that a layer's length asks for; a sample file that
// holds fewer was cut short outside the program.
qint64 samplebytes(const layer* l);
// For such a layer, a sentence (HTML) that says so; empty for a whole one.
// With `evenrefilled`, also for a layer whose file an edit grew again over
// what was lost (layer::lostframes), which holds silence there.
QString cutshortnote(layer* l, bool evenrefilled = false);

// A single-file project. False with the reason in *error.
bool savekvp(const QString& fileName, const ProjectLayers& project, QString* error);

// An XML project. localcopy: the samples are copied into the folder
// "<file name>.data" beside it; the text and the samples it names change
// together or not at all. Otherwise the text refers to the layers' own
// sample files where they are.
bool savekvx(const QString& fileName, const ProjectLayers& project, bool localcopy, QString* error);

// The folder that holds the samples of an XML project saved with local copies.
QString kvxdatafolder(const QString& fileName);

// Reads an XML project and checks that the samples of every row are there,
// of the size the text gives (only at least that size with `skipped`: a
// session's layer may have grown after its file was written); the rows'
// samples come out as absolute paths. With `skipped`, a row
// whose samples are not there is left out (the reason added to *skipped)
// instead of refusing the whole file, and a session's layer left in the
// middle of an edit is taken back from its kept file; one whose kept file
// cannot be trusted comes back as its samples hold it, copied so that both
// files stay for the user. Each of these says so in *notes.
bool readkvx(const QString& fileName, ProjectData* data, QString* error, QStringList* skipped = nullptr,
             QStringList* notes = nullptr);

// Makes the layers of the rows, samples included. adopt: a sample file that
// is a layer file of the session folder, not in `inuse` and of the right
// size becomes the layer's own file instead of being copied. On a failure
// no layer is left, every file taken over is still there, and *error says why.
bool makelayers(const ProjectData& data, bool adopt, const QStringList& inuse, QList<layer*>* layers,
                QString* error);

// Deletes layers that makelayers made from `data`; the sample files they took
// over stay where they are.
void discardlayers(const ProjectData& data, const QList<layer*>& layers);
