#pragma once
// One operation on a time-frequency rectangle of two Buffers, bin by bin over
// every frame of it: clear the destination, move with a shift, copy, cut, mix,
// or keep the louder or the quieter bin. Source and destination may be the
// same Buffer. After the call both layers hold the result.
#include <QRectF>

class Buffer;

// area: x start (s), y top frequency (Hz), width duration (s), height minus the
// bandwidth (Hz). channelmask: bit c selects channel c, 0 selects all.
// Modes: 0 empty the destination's layer and reset the destination, 1 move by
// (dtime s, dfreq Hz) with the phase carried along, 2 nothing, 3 silence,
// 4 cut, 5 copy, 6 add, 7 subtract (source minus destination), 8 keep the
// quieter, 9 keep the louder (ties keep the destination).
void transferarea(Buffer* src, Buffer* dst, QRectF area, int channelmask, int mode, float dtime,
                  float dfreq);
