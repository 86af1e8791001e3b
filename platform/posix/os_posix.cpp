// POSIX services: the block as POSIX shared memory, the event as a named semaphore.
#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

// Only the user may open the block: its contents choose which file Strofix opens.
constexpr mode_t kOwnerOnly = 0600;

std::string PosixName(const char* name) {
    return name[0] == '/' ? name : std::string("/") + name;
}

}  // namespace

bool OpenSharedBlock(const char* name, std::size_t size, SharedBlock* out) {
    const std::string posixName = PosixName(name);
    int fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL, kOwnerOnly);
    if (fd < 0 && errno == EEXIST) fd = shm_open(posixName.c_str(), O_RDWR, 0);
    if (fd < 0) return false;

    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return false;
    }
    // A new block (or one whose creator has not sized it yet) gets the full size, zero-
    // filled; an existing smaller one is mapped as it is, so no read goes past it.
    if (st.st_size == 0) {
        if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
            close(fd);
            return false;
        }
        st.st_size = static_cast<off_t>(size);
    }
    const std::size_t mapped =
        static_cast<std::size_t>(st.st_size) < size ? static_cast<std::size_t>(st.st_size) : size;
    void* view = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (view == MAP_FAILED) return false;
    out->mapping = nullptr;
    out->view = view;
    out->mappedSize = mapped;
    return true;
}

void CloseSharedBlock(SharedBlock* block) {
    if (block->view != nullptr) munmap(block->view, block->mappedSize);
    *block = SharedBlock{};
}

void RemoveSharedBlock(const char* name) {
    shm_unlink(PosixName(name).c_str());
}

void* OpenNamedEvent(const char* name) {
    sem_t* sem = sem_open(PosixName(name).c_str(), O_CREAT, kOwnerOnly, 0U);
    return sem == SEM_FAILED ? nullptr : sem;
}

void RemoveNamedEvent(const char* name) {
    sem_unlink(PosixName(name).c_str());
}

bool Access(const char* path, int mode) {
    const int how = mode == 0 ? F_OK : (mode & 4 ? R_OK : 0) | (mode & 2 ? W_OK : 0);
    return access(path, how == 0 ? F_OK : how) == 0;
}

std::FILE* OpenRegularFile(const char* path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer. Once the descriptor is known to
    // be a regular file, its status flags are set back to those of a plain O_RDONLY open
    // (O_NONBLOCK was the only one set), so reads behave as usual.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, O_RDONLY) != 0) {
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) close(fd);
    return file;
}

char PathSeparator() {
    return '/';
}

namespace {
std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}
}  // namespace

std::string SettingsFilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string base =
        (xdg != nullptr && xdg[0] == '/') ? std::string(xdg) : HomeDirectory() + "/.config";
    return base + "/Strofix.ini";
}

std::string DefaultLyricsDirectory() {
    return HomeDirectory() + "/Lyrics";
}

}  // namespace platform
