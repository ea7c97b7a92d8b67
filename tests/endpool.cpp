// Linked into every test program: ends Qt's shared thread pool in order when
// the application object goes, as the editor itself does.
#include "core/poolthreads.h"

#include <QCoreApplication>

static void registerend()
{
    qAddPostRoutine(endpoolthreads);
}
Q_COREAPP_STARTUP_FUNCTION(registerend)
