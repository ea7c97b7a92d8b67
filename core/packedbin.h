#pragma once
// A frame's bins as the Buffer stores them: bin 0 is real and keeps the
// first float, the Nyquist bin (`half`) is real too and travels in the
// second, bin b in between takes floats 2b and 2b + 1; a bin beyond them is
// nothing.
#include <QVector2D>

inline QVector2D binof(const float* frame, int b, int half)
{
    if (b == 0)
        return {frame[0], 0};
    if (b == half)
        return {0, frame[1]};
    if (b < 0 || b > half)
        return {0, 0};
    return {frame[2 * b], frame[2 * b + 1]};
}

inline void setbinof(float* frame, int b, int half, float re, float im)
{
    if (b == 0)
        frame[0] = re;
    else if (b == half)
        frame[1] = im;
    else if (b > 0 && b < half) {
        frame[2 * b] = re;
        frame[2 * b + 1] = im;
    }
}

// Storing (re, im) as bin b would leave the frame as it is.
inline bool holdsbin(const float* frame, int b, int half, float re, float im)
{
    if (b == 0)
        return frame[0] == re;
    if (b == half)
        return frame[1] == im;
    return b < 0 || b > half || (frame[2 * b] == re && frame[2 * b + 1] == im);
}
