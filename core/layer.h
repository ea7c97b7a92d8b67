#pragma once
// One layer of audio: interleaved 32-bit float frames in a temporary file under
// the session folder, with a start time, gains and up to 1024 child layers that
// are mixed into every read. All operations that touch the file or the fields
// lock the process-wide recursive layermutex for their whole run, except that
// read() and mixadd() copy the samples once they have released it.
//
// Threads: the layer panel creates and deletes layers on the window's thread,
// after the Buffers and the views have let them go. Display workers, Buffers
// on a device run or a tool step, and imports read and write them from their
// own threads, always through the operations above (or under layermutex).
#include <QFile>
#include <QMetaType>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class Buffer;
class KeptFrames;
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
    // Edited frames kept for exactness by the Buffers this layer was bound
    // to (keptframes.h); made by the first one that keeps any. Not copied.
    std::shared_ptr<KeptFrames> keptframes;

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
    // How the last inserttime() or removetime() moved the samples, in
    // absolute sample indices: those before `cut` by `lowshift`, those from
    // `resume` on by `highshift`. The frames kept for the layer follow
    // (KeptFrames::remap); a caller that edits a copy passes it on.
    struct samplemove
    {
        bool valid = false;
        qint64 cut = 0, resume = 0, lowshift = 0, highshift = 0;
    };
    samplemove lastmove;
    // False when the layer could not take the new format: lasterror() says why
    // in plain words, or is empty when the user cancelled the conversion.
    bool resample(int samplerate, int channels, int speakermask);

    // The last file failure of an operation on this layer (empty when none);
    // the operations themselves keep the old audio when a file step fails.
    QString lasterror() const;
    bool failed() const;
    void clearerror();
    // Records a failure (logged), for callers that refuse an operation on the layer.
    void seterror(const QString& text);

    // Frames in the sample file.
    qint64 fileframes() const;
    // The frames that the sample file lacked when an edit found it shorter
    // than the layer (cut short outside the program), before the edit could
    // grow it over the gap with silence; 0 when it never did.
    qint64 lostframes() const;

    // The "before" side of the next history entry, kept by copy on write:
    // from keepbefore() on, every operation about to overwrite, move away or
    // drop frames of the file first puts their old samples aside, so that
    // beforechunk() cuts a range of the layer as it stood then without a copy
    // of the whole file. restorerange(), copyrange() and a resample start it
    // again from the state they leave.
    void keepbefore(); // (re)starts from the layer as it stands; copies nothing
    void dropbefore(); // stops, and removes what was put aside
    bool keepsbefore() const;
    // The file that a step moved the frames into could not be named in the
    // kept file (lasterror() said why): no chunk of the state then can be
    // cut any more, and the file takes no edit until the next keepbefore().
    bool beforelost() const;
    // The extent at keepbefore() (frames below 0 while nothing is kept).
    layerextent beforeextent() const;
    // A chunk of [start, start + length) of the layer as it stood at
    // keepbefore(), the same as the range constructor would cut from a copy
    // made then; null when nothing is kept. The caller owns it; failed() on
    // it tells that it could not be made whole.
    layer* beforechunk(double start, double length);

    // The file beside the sample file into which keepbefore() puts frames
    // aside, named after the sample file when first asked for and kept for
    // the life of the layer (its sample file may be replaced meanwhile). A
    // session file names it with the samples: what a run that ends in the
    // middle of an edit leaves in it takes the layer back to the state before
    // that edit. Every record is written and flushed to the disk before the
    // frames it keeps are overwritten, and carries a checksum. Between edits
    // it holds only a mark that nothing is under way, so that one that is
    // missing or damaged is known as such.
    QString keptfile();
    // Makes sure the kept file is there, for a session file about to name
    // it; false (nothing to name) when it cannot be written.
    bool markkept();
    // What `keptfile` says of `samplefile` (a layer of `channels` channels
    // at `samplerate`): nothing under way, the state before an edit that did
    // not end (with its extent), or that it cannot be trusted (why says why;
    // a missing file counts so only when `mustexist`).
    struct keptreading
    {
        enum State { none, journal, damaged } state = none;
        layerextent extent;
        QString why;
    };
    static keptreading readkeptfile(const QString& samplefile, const QString& keptfile, int channels,
                                    int samplerate, bool mustexist);
    // Fills this new, empty layer with that state and takes its extent;
    // false when `keptfile` holds no such state, and when the state cannot
    // be made whole (failed() then says why).
    bool takekept(const QString& samplefile, const QString& keptfile);

    // A session file names the layer's current sample file from now on: the
    // files it replaced since, kept till now for the session file that still
    // named them, go, and so does what the kept file still held of a state
    // that session file named before.
    void listed();

private:
    struct beforestate;
    struct beforedelete
    {
        void operator()(beforestate* state) const;
    };
    std::unique_ptr<beforestate, beforedelete> kept; // null: nothing is kept
    // The kept file is on disk (a mark, or what a state put aside).
    bool keptmarked = false;
    // It holds what was put aside of a state that has ended, for the
    // session file that still names the layer as it stood then: a run that
    // ends before the next session file comes back as it was.
    bool keptheld = false;
    // Ends the kept state: what it put aside stays for the session file
    // that needs it, or the kept file goes back to the mark.
    void endbefore();
    // listed() for the kept file.
    void keptlisted();
    // Puts the mark that nothing is under way into the open kept file in
    // place, or removes the file when it cannot.
    void markended(QFile* side);
    // Writes the kept file from scratch under a name of its own, flushed to
    // the disk, that then takes the kept file's place in one step; leaves it
    // open in `into` when asked. Gives why it could not (empty: done).
    QString writekept(const QByteArray& bytes, QFile** into);
    // Flushes what was put aside to the disk, before the step it prepared.
    bool syncbefore();
    // Puts aside the frames of the kept state that file frames [first, last)
    // still hold, before a step overwrites or drops them. False (lasterror()
    // says why) when they cannot be: the step is then refused, so that the
    // kept file still takes the layer back whole after a kill.
    bool keepframes(qint64 first, qint64 last);
    // The same for every file frame outside [first, last): the frames that a
    // step which keeps only those (and moves them) loses.
    bool keepframesoutside(qint64 first, qint64 last);
    // File frames moved into a new file: frame f is now frame f + by.
    void framesmoved(qint64 by);
    // Records why something could not be put aside, cuts the kept file back
    // to its last whole record and gives false.
    bool cannotkeep(const QString& why);
    // Appends a record to the kept file (made, with its header, on the first one).
    bool keeprecord(const char* tag, qint64 a, qint64 b, const QByteArray& payload = QByteArray());
    // Starts the kept state anew for a write-back of the history; the guard
    // it gives starts it again (or drops it) once that is done.
    auto restartbefore();
    // Copies frames [first, last) of the kept state into `into` from frame `at` on.
    bool copybefore(QFile* into, qint64 at, qint64 first, qint64 last);

    QString lasterrortext;
    qint64 cutframes = 0;
    // Notes, before a step that may grow the file, that it lacks frames.
    void notecut();
    QString keptname;
    QString listedname; // the sample file that the session file names
    QStringList retired; // former sample files that it still names
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
    // A read takes what it needs of each layer under the lock and reads the
    // samples without it, through a descriptor of its own, so that readers
    // on several threads (the display workers of every view) do not take
    // turns on the lock while they copy. What they read is the file as it
    // stood when they took it; an edit made meanwhile is announced to them
    // afterwards.
    struct readsource;
    // Under the lock: the source for `frames` of this layer from `time` on,
    // channel as in read() (-1 all), each sample times gain.
    readsource sourcefor(double time, qint64 frames, int channel, float gain);
    // Under the lock: mixadd's checks and source, if there is anything to mix.
    bool mixsource(std::vector<readsource>& into, double time, double duration, int channel);
    // The one check that keeps a mix from mixing a child of another format.
    bool canmix(layer* child);
    bool reframe(double newstart, bool keep, double newlength);
    void movedsamples(qint64 cut, qint64 resume, qint64 lowshift, qint64 highshift);
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

// A standard lock: ThreadSanitizer sees it, as it does not see into Qt's.
extern std::recursive_mutex layermutex;

// Default speaker mask for a channel count, or `old` for counts outside 1..8.
int defaultspeakermask(int channels, int old);

// Block copies between devices through one 1,000,000-byte heap block.
// They return false when a seek, read or write fails or falls short.
bool copyiodevice(QIODevice* from, qint64 frompos, QIODevice* to, qint64 topos, qint64 count);
bool copyiodevicetail(QIODevice* from, QIODevice* to, qint64 count);

// Why writing into file failed, naming its folder, given errno as it was
// right after the failure: a full disk says so in words a user can act on.
QString writefailure(const QFileDevice* file, int error);
// The same for a file in `folder` that may not have its name yet.
QString writefailure(const QString& folder, const QFileDevice* file, int error);
