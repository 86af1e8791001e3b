// Windows services: the block as a named mapping over the paging file, the event as a
// named auto-reset event, the access test of the C run-time.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdint>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"

namespace platform {
namespace {

// What the kernel reports about a section object (NtQuerySection, information class 0).
struct SectionBasicInformation {
    void* baseAddress;
    ULONG attributes;
    LARGE_INTEGER maximumSize;
};
using NtQuerySectionFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

// The size the block was created with, or 0 when the kernel does not tell. A view covers
// whole pages, so this is the finer bound for a block smaller than a page.
std::size_t SectionSize(HANDLE mapping) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return 0;
    auto query = reinterpret_cast<NtQuerySectionFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySection")));
    if (query == nullptr) return 0;
    SectionBasicInformation info{};
    if (query(mapping, 0, &info, sizeof info, nullptr) < 0) return 0;
    if (info.maximumSize.QuadPart <= 0) return 0;
    return static_cast<std::size_t>(info.maximumSize.QuadPart);
}

}  // namespace

bool OpenSharedBlock(const char* name, std::size_t size, SharedBlock* out) {
    const std::uint64_t wanted = size;
    if (wanted == 0) return false;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT,
                                        static_cast<DWORD>(wanted >> 32),
                                        static_cast<DWORD>(wanted & 0xFFFFFFFFu), name);
    if (mapping == nullptr) return false;
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (view == nullptr) {
        CloseHandle(mapping);
        return false;
    }
    // An existing block keeps the size its creator gave it, which may be less than asked
    // for: never let a read go past the view, nor past the block inside its last page.
    MEMORY_BASIC_INFORMATION region{};
    std::size_t readable = 0;
    if (VirtualQuery(view, &region, sizeof region) == sizeof region) readable = region.RegionSize;
    const std::size_t created = SectionSize(mapping);
    if (created != 0 && created < readable) readable = created;
    out->mapping = mapping;
    out->view = view;
    out->mappedSize = readable < size ? readable : size;
    out->viewSize = out->mappedSize;
    return true;
}

// A section keeps its size and its name while this process holds it.
bool CheckSharedBlock(SharedBlock* block) {
    return block->view != nullptr;
}

void CloseSharedBlock(SharedBlock* block) {
    if (block->view != nullptr) UnmapViewOfFile(block->view);
    if (block->mapping != nullptr) CloseHandle(static_cast<HANDLE>(block->mapping));
    *block = SharedBlock{};
}

// A named mapping lives while a process holds it: there is no name to remove.
void RemoveSharedBlock(const char* /*name*/) {}

void* OpenNamedEvent(const char* name) {
    return CreateEventA(nullptr, FALSE, FALSE, name);
}

void RemoveNamedEvent(const char* /*name*/) {}

bool Access(const char* path, int mode) {
    // Only existence (0), write (2) and read (4) are modes the run-time accepts; anything
    // else would stop the program in its invalid-parameter handler.
    return _access(path, mode & 6) == 0;
}

std::FILE* OpenRegularFile(const char* path) {
    // The narrow run-time open reads the path in the ANSI code page, as _access does; the
    // type comes from the opened file (a console or printer name opens a device).
    const int fd = _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return nullptr;
    struct _stat64 st {};  // the 64-bit size: a file over 2 GB is still a regular file
    if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
        _close(fd);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "rb");
    if (file == nullptr) _close(fd);
    return file;
}

char PathSeparator() {
    return '\\';
}

std::string SettingsFilePath() {
    return "C:\\Windows\\Strofix.ini";
}

std::string DefaultLyricsDirectory() {
    return "C:\\Lyrics";
}

}  // namespace platform
