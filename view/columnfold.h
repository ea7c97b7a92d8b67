#pragma once
// What a display column keeps of the frames it stands for: for each row the
// strongest value of the bins the row stands for over every frame, and the
// peak level of the samples those frames read. Frames arrive eight at a
// time, one per lane of a lanefft batch; consecutive lanes may belong to
// one column or to several.
#include <cstddef>
#include <vector>

#include "core/lanefft.h"

class columnfold
{
public:
    // Takes a transformed batch (which must stay as it is until the last
    // fold): for each of `rows` rows, the strongest of bins low[r] ..
    // high[r] in each lane.
    void take(const lanefft& fft, int rows, const int* low, const int* high);
    // Folds lanes [from, to) of the batch taken into `column` (rows x (re,
    // im)): a row takes the lanes' strongest value when its power beats the
    // power of the value the column holds. Lanes whose value is not a number
    // count for nothing.
    void fold(int from, int to, float* column) const;

private:
    struct alignas(32) group
    {
        float lane[lanefft::lanes];
    };
    int rows = 0;
    // The rows' values: the transform's bins themselves when each row is one
    // bin, else the strongest bins gathered in re and im.
    const float* rowre = nullptr;
    const float* rowim = nullptr;
    std::vector<group> re, im;
};

// The largest absolute value of samples[0 .. count); not-a-number counts for nothing.
float peaklevel(const float* samples, std::ptrdiff_t count);

// A folded column (rows x (re, im), rows rising in frequency) into what the
// view draws, in place: per row its level and its bin shift, the offset of
// the parabola through the levels of the row and its two neighbours moved to
// [0, 1] (0.5 = peak centred on the row; 0 = none measured: no peak there,
// a flat or silent neighbourhood, or `shifts` false). Rows past the ends
// count as silent.
void columnlevels(float* column, int rows, bool shifts);
