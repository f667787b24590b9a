// The system part of the crash report: program version and build time, processor, operating
// system and browser versions, memory and drives, one line each ("\n", the text-mode stream
// writes CR LF).
#pragma once

#include <cstdio>

constexpr const wchar_t* kProductVersion = L"1.0.13";
constexpr const wchar_t* kProductName = L"Orvel Murmelin";

// Writes the block to a stream opened in text mode. Takes one to about five seconds: the
// processor speed is measured.
void WriteSystemLines(FILE* out);
