#pragma once
// One layer of audio: interleaved 32-bit float frames in a temporary file under
// the session folder, with a start time, gains and up to 1024 child layers that
// are mixed into every read. All operations that touch the file or the fields
// lock the process-wide recursive layermutex for their whole run.
#include <QFile>
#include <QMetaType>
#include <QRecursiveMutex>
#include <QString>
#include <cstdint>
#include <functional>

class Buffer;
class QIODevice;

// Where a layer stood on the time line and how many frames its file held.
struct layerextent
{
    double start = 0;
    double length = 0;
    qint64 frames = -1; // below 0: not known
};

class layer
{
public:
    static constexpr int maxchildren = 1024;

    QString name;
    quint8 active = 1;
    qint32 mixsign = 1;
    float volume = 1.0f;
    qint32 samplerate = 0;
    qint32 channels = 0;
    qint32 speakermask = 0;
    double start = 0;
    double length = 0;
    double dirtymin = 2147418112.0;
    double dirtymax = -2147418112.0;
    // A write since the last resetdirty() did not reach the file in full
    // (lasterror() says why): the edit is not what the caller drew.
    bool writefailed = false;
    layer* children[maxchildren] = {};
    qint32 childcount = 0;
    QFile* file = nullptr;
    // For a history chunk: the extent of the layer it was cut from, as it
    // stood then, so that undo and redo can give an edit that moved the
    // layer's start or end its extent back. Only the range constructor sets it.
    layerextent owner;

    layer();
    layer(const layer& source);
    layer(layer* source, double start, double length);
    layer(const QString& pcmfile, const QString& name, bool active, int mixsign, float volume,
          int samplerate, int channels, double start, double length, bool copy);
    ~layer();
    layer& operator=(const layer&) = delete;

    void resetdirty();
    double spanstart();
    double spanlength();
    bool addchild(layer* child); // false (and logged) when the container is full
    void clearchildren();
    void updatelength();
    void copyrange(layer* chunk);
    // Undo and redo: gives the layer the extent recorded in the chunk (frames
    // that leave it are dropped, frames that join it are silence), then writes
    // the chunk's frames that fall inside it. A chunk without an extent goes
    // through copyrange. A chunk that cannot be written back (failed() then
    // says why) leaves the layer's extent and file size as they were.
    void restorerange(layer* chunk);
    void clear();
    void mixadd(float* dst, double time, double duration, int channel);
    void read(float* dst, double time, double duration, int channel, bool gains);
    void write(const float* data, double time, double duration);
    void setlength(double newstart, bool keep, double newlength);
    void inserttime(double time, double duration);
    void removetime(double time, double duration);
    bool resample(int samplerate, int channels, int speakermask);

    // The last file failure of an operation on this layer (empty when none);
    // the operations themselves keep the old audio when a file step fails.
    QString lasterror() const;
    bool failed() const;
    void clearerror();

    // Frames in the sample file.
    qint64 fileframes() const;

private:
    QString lasterrortext;
    void seterror(const QString& text);
    qint64 framebytes() const { return qint64(channels) * 4; }
    // A new read/write temporary file from the session template, or null (logged).
    QFile* newtempfile();
    // Constructors: a new empty file, or an unnamed stand-in (and length 0) on a failure.
    bool takenewfile();
    // Removes the current file from disk and takes newfile in its place.
    void replacefile(QFile* newfile);
    // Fills a new temporary file and puts it in place of the current one; on a
    // failure the new file is removed, the old one stays and the reason is kept.
    bool rebuildfile(const QString& what, const std::function<bool(QFile*)>& fill);
    // Zeroes scratch (frames x channels floats) and reads into it the own
    // frames that fall inside [time, time + frames / samplerate).
    void readown(float* scratch, qint64 frames, double time);
    // The one check that keeps a mix from mixing a child of another format.
    bool canmix(layer* child);
    bool reframe(double newstart, bool keep, double newlength);
    bool copyfilefrom(QIODevice* from, qint64 bytes);
    // Logged refusal of a chunk of another format.
    bool sameformat(layer* chunk);
    void mixchildren(const layer& source);
    // Closes, deletes from disk and destroys a file object (null does nothing).
    static void removefile(QFile* file);
};

Q_DECLARE_METATYPE(layer*)

// Registers "layer*" with the meta-type system so that layers travel in queued
// signals; the shell calls it once at start (calling it again does no harm).
void registerlayermetatype();

// The slot index used throughout: 0 mix, 1 current layer, 2 clipboard, 3 all.
typedef qint32 layertype;

// The process-wide table of the three slot Buffers and the layers bound to them.
struct SlotTable
{
    Buffer* buffer[3] = {nullptr, nullptr, nullptr};
    layer* bound[3] = {nullptr, nullptr, nullptr};
};
extern SlotTable slottable;

extern QRecursiveMutex layermutex;

// Default speaker mask for a channel count, or `old` for counts outside 1..8.
int defaultspeakermask(int channels, int old);

// Block copies between devices through one 1,000,000-byte heap block.
// They return false when a seek, read or write fails or falls short.
bool copyiodevice(QIODevice* from, qint64 frompos, QIODevice* to, qint64 topos, qint64 count);
bool copyiodevicetail(QIODevice* from, QIODevice* to, qint64 count);
