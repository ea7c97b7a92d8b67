#pragma once
// OpenAL reports errors through a sticky per-context (alGetError) or
// per-device (alcGetError) flag; these read and clear it and say what failed.
#include <AL/al.h>
#include <AL/alc.h>
#include <QtGlobal>

// True (and a warning) when the last AL calls raised an error.
inline bool alfailed(const char* what)
{
    const ALenum error = alGetError();
    if (error == AL_NO_ERROR)
        return false;
    const ALchar* text = alGetString(error);
    qWarning("speakerlink: %s failed: %s (0x%x)", what, text ? text : "unknown error", unsigned(error));
    return true;
}

// The same for ALC calls on a device (null: calls that take no device).
inline bool alcfailed(ALCdevice* device, const char* what)
{
    const ALCenum error = alcGetError(device);
    if (error == ALC_NO_ERROR)
        return false;
    const ALCchar* text = alcGetString(device, error);
    qWarning("speakerlink: %s failed: %s (0x%x)", what, text ? text : "unknown error", unsigned(error));
    return true;
}
