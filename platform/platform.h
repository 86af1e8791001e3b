// Operating-system services the portable code needs: the named shared block and event,
// the access test, the path separator and the settings file. One implementation per
// platform (platform/posix, platform/win32), chosen in CMake. No platform types here.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace platform {

// A named block of shared memory, created zero-filled at `size` bytes or opened if it
// exists. `mapping`, `view` and `descriptor` are opaque handles; `mappedSize` is how many
// bytes of the view may be read now (never more than `size`, less when the block is
// smaller), `viewSize` how many bytes the view spans.
struct SharedBlock {
    void* mapping = nullptr;
    void* view = nullptr;
    std::size_t mappedSize = 0;
    std::size_t viewSize = 0;
    int descriptor = -1;
};

// Opens the block. A block that another user owns, or that group or others may write, is
// refused (its contents choose which file is opened): false, and why is said once on
// stderr.
bool OpenSharedBlock(const char* name, std::size_t size, SharedBlock* out);
// Looks at an open block again (one system call on POSIX): updates `mappedSize` to what
// the block holds now (a block may be shrunk under a reader), and returns false when the
// block has lost its name (removed, or replaced by another block of that name), so the
// caller opens the name again. Never false where a block cannot shrink or be replaced.
bool CheckSharedBlock(SharedBlock* block);
// Releases a block opened by OpenSharedBlock.
void CloseSharedBlock(SharedBlock* block);
// Removes the name so that the next open creates a new block (POSIX only; a no-op where
// a block lives only while a process holds it).
void RemoveSharedBlock(const char* name);

// Creates or opens a named auto-reset event, not signalled. Returns an opaque handle or
// null. Never signalled or waited on by Strofix.
void* OpenNamedEvent(const char* name);
void RemoveNamedEvent(const char* name);

// Access test: mode 0 tells whether the path exists, mode 4 whether it can be read.
bool Access(const char* path, int mode);

// Opens an existing regular file for reading, in binary, with one open: the type is checked
// on the opened file, so nothing can take the file's place between the check and the read.
// Null for a directory, a FIFO, a device or a file that cannot be opened; the open itself
// never waits for a writer. The path's bytes reach the system unchanged (the ANSI code page
// on Windows).
std::FILE* OpenRegularFile(const char* path);

// The separator this platform's own paths use ('\\' on Windows, '/' elsewhere).
char PathSeparator();

// Initialisation-file access with the rules of the Windows profile functions.
// Reads `key` of `section` into `buf` (at most size - 1 characters, NUL-terminated);
// `def` when the file, the section or the key is missing. Returns the length copied.
std::size_t GetProfileString(const char* section, const char* key, const char* def, char* buf,
                             std::size_t size, const char* file);
// Writes `key` of `section`, creating file, section or key as needed and leaving the rest
// of the file as it was. Returns false when the file could not be written.
bool WriteProfileString(const char* section, const char* key, const char* value, const char* file);

// Where Strofix keeps its settings file, and the lyrics directory used until the user
// chooses one.
std::string SettingsFilePath();
std::string DefaultLyricsDirectory();

}  // namespace platform
