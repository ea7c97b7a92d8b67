#pragma once
// The value that means "no time" or "no position" throughout the system, at
// every interface: the pointer off the views, a layer without audio.
constexpr double unsettime = 2147418112.0;
constexpr int unsetindex = 2147418112;
