#pragma once
// Wheel notches from angle deltas: one notch is 120 units. High-resolution
// wheels and touchpads send parts of a notch, which add up until a whole one
// is reached; turning the other way, or a change of what the wheel acts on,
// starts the count again.
struct WheelNotches
{
    int rest = 0;
    int target = -1;

    // Whole notches (signed) in `delta` together with the parts before it.
    int take(int delta, int newtarget)
    {
        if (newtarget != target || (rest > 0 && delta < 0) || (rest < 0 && delta > 0))
            rest = 0;
        target = newtarget;
        rest += delta;
        const int notches = rest / 120;
        rest -= notches * 120;
        return notches;
    }
};
