#pragma once
// Reads the converter's console output (its error channel merged into its
// standard output) line by line: the input's duration, the audio stream's rate
// and channel layout, the progress time and the last diagnostic lines. Console
// lines end in "\r" (progress) or "\n"; a line cut between two reads is kept
// until its end arrives, so no marker is lost at a read boundary.
#include <QByteArray>
#include <QString>
#include <QStringList>

class ConsoleParser
{
public:
    enum Change { Duration = 0x1, Stream = 0x2, Time = 0x4 };

    // Forget everything: a new conversion starts.
    void reset();
    // Parse the complete lines in bytes; returns the Change bits of what they set.
    int feed(const QByteArray& bytes);
    // Parse what is left without a line end (the converter has ended).
    int finish();

    double duration = 0;            // seconds; valid when durationknown
    bool durationknown = false;
    bool durationestimated = false; // the converter guessed it from the bit rate
    bool video = false;             // the input holds a video stream (not a cover picture)
    int samplerate = 0;
    int channels = 0;
    int speakermask = 0;
    QString layout;                 // the layout as the converter printed it
    bool layoutguessed = false;     // the input named none: the converter guessed it from the count
    bool outputstream = false;      // rate and layout come from the output's stream line
    double time = 0;                // progress: seconds converted so far
    QString codec;                  // the input audio stream's coding ("pcm_s16le", "flac")
    QString sampleformat;           // and its samples as the converter names them ("s16", "s32 (24 bit)")
    QStringList messages;           // the last diagnostic lines
    int decodeproblems = 0;         // diagnostic lines printed while decoding (damaged data)
    int decodeerrors = 0;           // of them, lines telling of packets the decoder gave up on (audio lost)
    bool lostbeginning = false;     // some of them before any audio was decoded

private:
    int parseline(const QString& line);

    enum class Section { None, Input, Output };
    Section section = Section::None;
    bool decoding = false; // past "Stream mapping:", the converter reads the data
    QByteArray pending;
};
