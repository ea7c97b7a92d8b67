#pragma once
// The host's services (hostservices.h) as the filter frame uses them: every
// filter plugin takes them (TakesHost), and its long work runs under the
// host's one wait, with progress and Cancel. Each plugin carries its own
// copy of the frame, so each keeps what its own host handed it.
#include "binruns.h"
#include "hostservices.h"

namespace filterframe {

class TakesHost : public HostUser
{
public:
    void sethost(HostServices* host) override;
};

// What the host handed over; null without a host that offers services.
HostServices* host();

// A filter that reads and writes many bins of each frame takes the host's
// runs of bins (binruns.h) as well; readbins and writebins (filterblock.h)
// use them when it was given some.
class TakesBinRuns : public BinRunUser
{
public:
    void setbinruns(BinRuns* runs) override;
};

BinRuns* binruns();

} // namespace filterframe
