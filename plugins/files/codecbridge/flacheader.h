#pragma once
// What a FLAC file's stream header announces, read without the converter:
// whether its audio can be decoded in parts that join sample for sample.
// FLAC frames are independent and carry their first sample's number, so a
// decode that starts at a whole second of such a stream gives exactly the
// samples that the decode of the whole file gives from there on.
#include <QString>
#include <QtGlobal>

struct FlacHeader
{
    bool valid = false; // a native FLAC file ("fLaC" and its STREAMINFO block)
    int samplerate = 0;
    int channels = 0;
    int blocksize = 0; // samples per frame; 0 when the frames vary in length
    qint64 frames = 0; // samples per channel; 0 when the encoder did not know

    // Every number that a decode in parts relies on is known.
    bool cuttable() const { return valid && samplerate > 0 && channels > 0 && blocksize > 0 && frames > 0; }
};

FlacHeader readflacheader(const QString& path);
