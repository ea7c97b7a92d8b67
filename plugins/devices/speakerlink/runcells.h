#pragma once
// The play position, volume and stop flag of a run live in the host and are
// shared with its GUI thread through plain pointers; the plugin reaches them
// only through std::atomic_ref, which needs them present and aligned.
#include <atomic>
#include <cmath>
#include <cstdint>

#include "unsettime.h"

inline bool runcellsusable(const double* currenttime, const float* volume, const bool* stop)
{
    auto aligned = [](const void* p, std::size_t alignment) {
        return p && reinterpret_cast<std::uintptr_t>(p) % alignment == 0;
    };
    return aligned(currenttime, std::atomic_ref<double>::required_alignment)
        && aligned(volume, std::atomic_ref<float>::required_alignment)
        && aligned(stop, std::atomic_ref<bool>::required_alignment);
}

// The marker for "no time" (and its negative, the end of an empty range) and
// anything not finite are not positions on the timeline.
inline bool isrealtime(double t)
{
    return std::isfinite(t) && std::fabs(t) < unsettime;
}
