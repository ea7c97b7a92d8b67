#pragma once
// How the process asks the C library for memory, set first thing in the
// program entry: blocks of a megabyte or more (the views' textures in a
// software driver, their display blocks, the engine's arrays) are mapped
// from the system and returned to it when freed. The library's default
// raises that bound to 32 MB as such blocks come and go, and then serves
// them from the heap, where the holes they leave stay resident: about a
// third of the peak of a long project, for nothing.
void setmemorypolicy();
