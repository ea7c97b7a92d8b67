// Linked into the window tests, for their leak check at exit.
//
// Mesa unloads its driver module at exit, before the leak check runs, and the
// driver's one-time allocations would then be reported from an unnamed module.
// Loaded here for good, it keeps its name and lsan.supp names it.
//
// Qt's D-Bus thread (started by the accessibility bridge of every window
// program) is told to end and waited for at exit, but its system thread may
// still be ending when the leak check runs: the check then finds the thread's
// data unreferenced, or its tracer fails on the ending thread. The exit waits
// until that thread is gone.
#include <dirent.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <cstdio>

namespace {

bool dbusthreadrunning()
{
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return false;
    bool found = false;
    while (dirent* task = readdir(tasks)) {
        char path[300], name[32] = {};
        snprintf(path, sizeof path, "/proc/self/task/%s/comm", task->d_name);
        if (FILE* comm = fopen(path, "r")) {
            found = found || (fgets(name, sizeof name, comm) && strncmp(name, "QDBusConnection", 15) == 0);
            fclose(comm);
        }
    }
    closedir(tasks);
    return found;
}

void waitfordbusthread()
{
    for (int i = 0; i < 30000 && dbusthreadrunning(); ++i)
        usleep(1000);
}

// Registered before any of Qt's exit work, so run after all of it.
[[maybe_unused]] const bool kept = dlopen(KV_GL_DRIVER, RTLD_LAZY | RTLD_NODELETE) != nullptr
                                   && atexit(waitfordbusthread) == 0;

} // namespace
