#pragma once
// Heap blocks aligned to a power of two, four-lane float row conversion and
// element-wise float operations in blocks of four with a scalar tail.

float* alignedalloc(int size, int alignment);
void alignedfree(float* block);

void interleave4(void* dst, float* src, int n);
void deinterleave4(float* dst, const void* src, int n);

void vmul(float* dst, float* a, float* b, unsigned n);
void vmuladd(float* dst, float* a, float* b, unsigned n);
