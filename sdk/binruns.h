#pragma once
// Runs of bins of one frame in one host call, for plugins that go through
// many bins of a frame: each getbin or setbin of the data block is a call
// into the host with its checks and the Buffer's lock, which costs more than
// the work a simple filter does on the bin.
//
// A plugin that wants them implements BinRunUser besides its own interface
// and lists it in Q_INTERFACES; the host hands its runs to every plugin
// object that answers BinRunUser's identifier, on the window's thread, before
// it calls initialize. They live as long as the plugins. A plugin given none
// (a host that offers none) calls getbin and setbin bin by bin.
//
// Shared by pointer between separately built host and plugins: the member
// order and types must never change; more comes as a new interface.
#include <QtPlugin>

class BinRuns
{
public:
    virtual ~BinRuns() {}
    // `count` bins of a frame from `firstbin` on as (re, im) pairs, 2 * count
    // floats, read or written exactly as getbin and setbin of the data block
    // would bin by bin (bins they refuse read 0 and are not written). Called
    // from whatever thread the plugin's work runs on, as those are.
    virtual void getbins(int buffer, int channel, int frame, int firstbin, int count, float* pairs) = 0;
    virtual void setbins(int buffer, int channel, int frame, int firstbin, int count, const float* pairs) = 0;
};

class BinRunUser
{
public:
    virtual ~BinRunUser() {}
    virtual void setbinruns(BinRuns* runs) = 0;
};

Q_DECLARE_INTERFACE(BinRuns, "com.MURROWGATE.Korvane.BinRuns/1.0")
Q_DECLARE_INTERFACE(BinRunUser, "com.MURROWGATE.Korvane.Plugin.BinRunUser/1.0")
