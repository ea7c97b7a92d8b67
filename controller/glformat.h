#pragma once
// The process default OpenGL format and whether the views may count on
// hardware-accelerated rendering. The views read `gldirectrendering` when they
// choose their capability tier; the controller fixes it once, before it
// creates the first view.

extern bool gldirectrendering;

// Sets swap interval 1 on the default format, probes whether a context can be
// made with it, reads the setting "forcesoft" (logging "Software rendering
// forced by user" when it is on), sets `gldirectrendering` to probe-valid and
// not forced, and installs the format as the process default.
void setupglformat();
