#pragma once
// The pure side of moving and scaling the clipboard: where the work files lie,
// the command lines of sox and rubberband as argument lists, the selection
// and factors that a drag gives, and the progress that rubberband prints.
#include <QByteArray>
#include <QRectF>
#include <QString>
#include <QStringList>

QString soxprogram();
QString rubberbandprogram();
// Channel c of the frozen clipboard copy, and the same after scaling, as mono
// wave files in the session folder; the merged result as a raw float file;
// the sox input for a copy too loud for it. Every instance shares the session
// folder, so the names carry this one's session id: "scale(<id>)-chan<c>.wav",
// "scale(<id>)-scaled<c>.wav", "scale(<id>)-clip.pcm", "scale(<id>)-source.pcm"
// (the session folder clean-up knows them by these names).
QString scalechanfile(int channel);
QString scaledchanfile(int channel);
QString scaledclipfile();
QString scalesourcefile();

// Channel `channel` of a raw float file into its own wave file.
QStringList splitarguments(int samplerate, int channels, const QString& input, int channel);
// The quick preview while dragging: tempo by 1/T, pitch by 100 P cents.
QStringList previewarguments(int channel, double timefactor, double semitones);
// The final pass with rubberband.
QStringList finalarguments(int channel, double timefactor, double semitones);
// The scaled wave files of `sourcechannels` channels back into one raw float file.
QStringList mergearguments(int samplerate, int channels, int sourcechannels, const QString& output);

// The factors stay where both utilities work (sox's tempo takes 0.1 to 10 for 1/T).
constexpr double minscalefactor = 0.1;
constexpr double maxscalefactor = 10.0;

struct ScaleGeometry
{
    QRectF selection;
    double timefactor = 1;      // T: new length / old length
    double frequencyfactor = 1; // F: every frequency is multiplied by it
    double semitones = 0;       // P: 12 log2 F
};

// What the offsets since the mode was switched on make of the origin in a
// scale mode: the length grows by dragtime from the selection's start
// `start`; a drag by a quarter of the displayed `band` upwards doubles the
// frequencies, which scale about 0 Hz.
ScaleGeometry scalegeometry(const QRectF& origin, double start, double dragtime, double dragfreq,
                            double band);
// The offsets for which scalegeometry gives the two factors, as the Scale
// dialog sets them.
void scaleoffsets(const QRectF& origin, double timefactor, double frequencyfactor, double band,
                  float& dragtime, float& dragfreq);
// The origin moved by the offsets, as in a move mode.
QRectF movedselection(const QRectF& origin, double dragtime, double dragfreq);

// The percentage in a piece of rubberband's output: the digits just before
// its first "%", or 0 when there are none.
int progresspercent(const QByteArray& text);
