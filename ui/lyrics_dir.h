// The lyrics directory setting: read at start, written at every exit, and the test a
// typed directory passes before it is accepted.
#pragma once

#include <cstddef>
#include <string>

// Reads the stored directory into `dir` (a buffer of `size` bytes), falling back to the
// platform's default when the file, the section or the key is missing.
void ReadLyricsDirectory(char* dir, std::size_t size);
// Writes `dir` under the key. False when the file could not be written.
bool WriteLyricsDirectory(const char* dir);
// Accepts `typed` into `dir` when, less one trailing separator, it names an existing file
// or directory and fits the buffer; otherwise leaves `dir` unchanged and returns false.
bool AcceptLyricsDirectory(const std::string& typed, char* dir, std::size_t size);
