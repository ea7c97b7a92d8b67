// Linked into the window tests: Mesa unloads its driver module at exit, before
// the leak check runs, and the driver's one-time allocations would then be
// reported from an unnamed module. Loaded here for good, it keeps its name
// and lsan.supp names it.
#include <dlfcn.h>

namespace {

[[maybe_unused]] const bool kept = dlopen(KV_GL_DRIVER, RTLD_LAZY | RTLD_NODELETE) != nullptr;

} // namespace
