#include "hostlink.h"

namespace {
HostServices* services = nullptr;
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

} // namespace filterframe
