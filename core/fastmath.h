#pragma once
// Fast single-precision approximations of square root, arc tangent, sine and
// cosine for per-bin loops (display transform, plugins through the host
// callbacks). Accuracy: fastsqrt within 0.2 % relative, fastsin/fastcos within
// about 0.001 absolute on -pi..pi, fastatan2 within 0.0102 rad.

// Square root through an inverse square root estimate with one Newton step;
// exactly 0 for 0. Meant for non-negative finite x.
float fastsqrt(float x);

// Angle of (x, y) in -pi..pi.
float fastatan2(float y, float x);

// Parabolic sine with one refinement; valid for x in -pi..pi.
float fastsin(float x);

// Cosine as a shifted fastsin; valid for x in -pi..pi (the shifted argument
// is wrapped once).
float fastcos(float x);
