#include "hostlink.h"

namespace {
HostServices* services = nullptr;
BinRuns* runs = nullptr;
} // namespace

namespace filterframe {

void TakesHost::sethost(HostServices* host)
{
    services = host;
}

HostServices* host()
{
    return services;
}

void TakesBinRuns::setbinruns(BinRuns* given)
{
    runs = given;
}

BinRuns* binruns()
{
    return runs;
}

} // namespace filterframe
