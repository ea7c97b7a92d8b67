// The file that makes cmake/qtheaders.h precompiled for the targets that reuse it.
