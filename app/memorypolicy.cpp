#include "memorypolicy.h"

#include <malloc.h>

void setmemorypolicy()
{
    // A fixed threshold also keeps the library from moving it.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
}
