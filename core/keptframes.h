#pragma once
// Edited bins of a layer that are not the analysis of the samples they gave
// it, kept per transform setting so that an edit and its inverse stay exact
// whatever happens in between: the cache window moving away, a reset, another
// layer bound, other transform parameters and back. Each kept frame carries a
// hash of the samples its own synthesis writes (the central two hops) as the
// layer held them when it was kept, and comes back only while the layer holds
// those samples: after an undo it stays away, after the redo it returns.
//
// Frames belong to the edit that kept them (beginedit). Memory is bounded for
// the whole process (keptmemorylimit); what does not fit goes to an unlinked
// file per layer in the session folder, all of them together within
// keptdisklimit and never leaving the session folder's disk less than
// keptdiskreserve free. Beyond that whole edits are forgotten, the one used
// least recently first, never the edit in progress nor one it reads from:
// a forgotten edit's inverse is that of an engine that keeps nothing, and no
// edit ever comes back in part. Frames that differ from the analysis only by
// its rounding are not kept at all.
//
// Threads: called by the Buffers on whichever thread runs their operation (the
// window's, the device run's, a tool step's); one process-wide lock serialises
// every store, so any call may come from any thread.
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Bytes of kept frames (with their index) that all layers hold in memory together.
extern qint64 keptmemorylimit;
// Bytes that the files of all layers' kept frames may take in the session folder.
extern qint64 keptdisklimit;
// Free bytes that those files never take from the session folder's disk.
extern qint64 keptdiskreserve;

class KeptFrames
{
public:
    // A frame to keep: the pairs p (floats 2p and 2p + 1 of the frame, pair 0
    // being DC and Nyquist) whose bit is set in `mask`, next to the analysis
    // of the samples the frame gave: pairs equal to it need nothing, the
    // others are kept as they are and come back bit for bit (also when
    // samples the frame reads beyond its own span have changed since).
    struct Frame
    {
        int frame = 0; // absolute frame index
        quint64 hash = 0; // of the samples its own synthesis span holds
        const float* bins = nullptr;
        const float* analysis = nullptr;
        const quint64* mask = nullptr;
        // What the time buffer still owes the frame's own hop of samples
        // (null when nothing), `carrycount` floats.
        const float* carry = nullptr;
        int carrycount = 0;
    };

    static quint64 settingkey(int windowtype, int fftsize, int overlap, bool subwin);
    // Hash of the samples a frame's synthesis writes.
    static quint64 hashsamples(const float* samples, int count);

    // What is kept from now on belongs to a new edit (an area transfer, or
    // what a caller writes between two of them).
    static void beginedit();

    KeptFrames();
    ~KeptFrames();
    KeptFrames(const KeptFrames&) = delete;
    KeptFrames& operator=(const KeptFrames&) = delete;

    // Keeps frames of one channel, written at once, as one record of the
    // edit in progress; `owner` names the layer in the log.
    void add(quint64 setting, int channel, int fftsize, const std::vector<Frame>& frames, const QString& owner);
    // Whether a kept frame of the setting and channel lies in [first, last].
    bool covers(quint64 setting, int channel, int first, int last) const;
    // For each frame of [first, last] that a record covers, the newest kept
    // frame whose hash equals hash(frame) goes into target(frame), whose N
    // floats hold the analysis of the samples: its pairs go in, their bits
    // into the mask (other floats and bits are left alone), and what it was
    // owed into the carry. Returns how many frames came back.
    int restore(quint64 setting, int channel, int first, int last, const std::function<quint64(int)>& hash,
                const std::function<void(int frame, float*& bins, quint64*& mask, float*& carry)>& target);
    // The layer was emptied: nothing kept can come back.
    void clear();
    // The layer's samples moved (time inserted or removed): those before
    // absolute sample `cut` by `lowshift` samples, those from `resume` on by
    // `highshift`; [cut, resume) went. A frame follows its samples when they
    // moved by whole hops of its setting, and goes otherwise: it can only come
    // back on the frame grid.
    void remap(qint64 cut, qint64 resume, qint64 lowshift, qint64 highshift);

    // Bytes held in memory (payload and index) and in the session folder.
    qint64 memorybytes() const;
    qint64 diskbytes() const;

    struct Record;

private:
    std::vector<std::unique_ptr<Record>> records; // oldest first
    int fd = -1;
    qint64 fileend = 0;   // bytes in the file, dead ones included
    qint64 filelive = 0;  // bytes of records that still have a copy there
    bool warned = false;
    QString owner;

    friend struct KeptAccounts;
    bool spill(Record& r);
    bool load(Record& r);
    // `lost`: an edit loses exactness by it (the log says so once).
    void drop(Record* record, bool lost = true);
    bool compact();
    void rebuild(Record& r, const std::vector<int>& keep, const std::vector<int>& frames);
    bool openfile();
    void closefile();
    void warn();
};
