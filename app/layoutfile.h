#pragma once
// Window layout files (".kvl"): one byte G, G bytes of window geometry, then
// the dock and tool-bar state to the end of the file, both as the toolkit
// serialises them.
#include <QByteArray>

// The file's bytes; empty when the geometry does not fit the one length byte
// (a file with a wrapped length would not load back).
QByteArray encodelayout(const QByteArray& geometry, const QByteArray& state);

// Splits a file's bytes; false for an empty file, a geometry shorter than
// announced, or no state.
bool decodelayout(const QByteArray& bytes, QByteArray* geometry, QByteArray* state);

// Larger files are not layouts (and are not read whole into memory).
constexpr qint64 layoutfilelimit = 1 << 20;
