// POSIX services: the block as POSIX shared memory, the event as a named semaphore.
#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pwd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

// Only the user may open the block: its contents choose which file Strofix opens.
constexpr mode_t kOwnerOnly = 0600;

std::string PosixName(const char* name) {
    return name[0] == '/' ? name : std::string("/") + name;
}

// Why a block was not opened, said once: a reader that retries every tick repeats itself
// only when the reason changes.
void SayOnce(const std::string& why) {
    static std::string said;
    if (why == said) return;
    said = why;
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, why.c_str());
}

// The block's contents choose the song path a reader opens and the path a writer's
// player shows: only a block of the user's own that nobody else may write is used.
bool SafeToUse(const std::string& name, const struct stat& st) {
    if (st.st_uid != geteuid()) {
        SayOnce("the shared block " + name + " belongs to user " + std::to_string(st.st_uid) +
                ", not to this user (" + std::to_string(geteuid()) + "); it is not used");
        return false;
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        SayOnce("the shared block " + name + " has mode " + mode +
                ", so others may write it; it is not used");
        return false;
    }
    return true;
}

}  // namespace

bool OpenSharedBlock(const char* name, std::size_t size, SharedBlock* out) {
    if (size == 0) return false;
    const std::string posixName = PosixName(name);
    int fd = shm_open(posixName.c_str(), O_RDWR | O_CREAT | O_EXCL, kOwnerOnly);
    if (fd < 0 && errno == EEXIST) fd = shm_open(posixName.c_str(), O_RDWR, 0);
    if (fd < 0) {
        SayOnce("cannot open the shared block " + posixName + ": " + std::strerror(errno));
        return false;
    }

    struct stat st {};
    if (fstat(fd, &st) != 0 || !SafeToUse(posixName, st)) {
        close(fd);
        return false;
    }
    // A new block (or one whose creator has not sized it yet) gets the full size, zero-
    // filled; an existing smaller one keeps its size, and no read goes past it.
    if (st.st_size == 0) {
        if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
            close(fd);
            return false;
        }
        st.st_size = static_cast<off_t>(size);
    }
    // The view always spans the full size, so a block that grows later is seen whole;
    // only the bytes the block holds are ever touched (a page past its end would fault).
    void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED) {
        close(fd);
        return false;
    }
    out->mapping = nullptr;
    out->view = view;
    out->viewSize = size;
    out->descriptor = fd;
    out->mappedSize =
        static_cast<std::size_t>(st.st_size) < size ? static_cast<std::size_t>(st.st_size) : size;
    return true;
}

bool CheckSharedBlock(SharedBlock* block) {
    if (block->view == nullptr || block->descriptor < 0) return false;
    struct stat st {};
    if (fstat(block->descriptor, &st) != 0) {
        block->mappedSize = 0;
        return false;
    }
    const auto held = static_cast<std::size_t>(st.st_size < 0 ? 0 : st.st_size);
    block->mappedSize = held < block->viewSize ? held : block->viewSize;
    // Removed, or another block moved over its name: the name now leads elsewhere.
    return st.st_nlink > 0;
}

void CloseSharedBlock(SharedBlock* block) {
    if (block->view != nullptr) munmap(block->view, block->viewSize);
    if (block->descriptor >= 0) close(block->descriptor);
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
// $HOME, else the home directory the password database gives the user (a session started
// without HOME, a service); empty when neither is known.
std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    long room = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (room < 1024) room = 1024;
    std::vector<char> buf(static_cast<std::size_t>(room) < 65536 ? static_cast<std::size_t>(room)
                                                                 : 65536);
    struct passwd entry {};
    struct passwd* found = nullptr;
    for (;;) {
        const int rc = getpwuid_r(geteuid(), &entry, buf.data(), buf.size(), &found);
        if (rc == ERANGE && buf.size() < (1U << 20)) {
            buf.resize(buf.size() * 2);
            continue;
        }
        break;
    }
    if (found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] == '\0') return "";
    return found->pw_dir;
}
}  // namespace

std::string SettingsFilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/Strofix.ini";
    const std::string home = HomeDirectory();
    // No home at all: no settings file (reads give the default, writes fail), rather than
    // one in the root directory.
    return home.empty() ? std::string() : home + "/.config/Strofix.ini";
}

std::string DefaultLyricsDirectory() {
    return HomeDirectory() + "/Lyrics";
}

}  // namespace platform
