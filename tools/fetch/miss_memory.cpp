#include "tools/fetch/miss_memory.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <utility>
#include <vector>

namespace fetch {

namespace {

const char kHeader[] =
    "# strofix: tracks LRCLIB had no synced lyrics for; each is not asked for again for 24 "
    "hours\n";

struct Entry {
    std::int64_t at;
    std::string key;
};

std::string Escape(const std::string& s) {
    std::string out;
    for (const char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool Unescape(std::string_view s, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            *out += s[i];
            continue;
        }
        if (++i == s.size()) return false;
        switch (s[i]) {
            case '\\':
                *out += '\\';
                break;
            case 't':
                *out += '\t';
                break;
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            default:
                return false;
        }
    }
    return true;
}

// The file's entries; a missing, unreadable or oversized file holds none, and lines that
// do not parse are skipped.
std::vector<Entry> Load(const std::string& path) {
    std::vector<Entry> entries;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uintmax_t>(st.st_size) > kMissMemoryMaxBytes) {
        return entries;
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line) && entries.size() < 4 * kMissMemoryMaxEntries) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab > 18) continue;
        std::int64_t at = 0;
        bool digits = true;
        for (std::size_t i = 0; i < tab; ++i) {
            if (line[i] < '0' || line[i] > '9') digits = false;
            at = at * 10 + (line[i] - '0');
        }
        Entry e{at, {}};
        if (digits && Unescape(std::string_view(line).substr(tab + 1), &e.key)) {
            entries.push_back(std::move(e));
        }
    }
    return entries;
}

bool Fresh(const Entry& e, std::int64_t now) {
    return e.at <= now && now - e.at < kMissMemorySeconds;
}

// Creates `dir` and its missing parents, mode 0700.
bool MakeDirs(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash))) return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// Replaces the file whole: a temporary file beside it, flushed to disk, renamed over it.
bool Save(const std::string& path, const std::vector<Entry>& entries, std::string* error) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash);
    const auto fail = [&](const std::string& what) {
        if (error != nullptr) *error = what + ": " + std::strerror(errno);
        return false;
    };
    if (!MakeDirs(dir)) return fail("cannot create " + dir);
    std::string text = kHeader;
    for (const Entry& e : entries) text += std::to_string(e.at) + '\t' + Escape(e.key) + '\n';
    std::string tmp = path + ".XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) return fail("cannot write in " + (dir.empty() ? std::string(".") : dir));
    std::size_t done = 0;
    errno = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (done != text.size() && errno == 0) errno = ENOSPC;
    const bool written = done == text.size() && fsync(fd) == 0;
    close(fd);
    if (!written || rename(tmp.c_str(), path.c_str()) != 0) {
        const bool result = fail("cannot write " + path);
        unlink(tmp.c_str());
        return result;
    }
    return true;
}

// Fresh entries only, newest last, at most the limit.
std::vector<Entry> Pruned(std::vector<Entry> entries, std::int64_t now) {
    std::erase_if(entries, [now](const Entry& e) { return !Fresh(e, now); });
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.at < b.at; });
    if (entries.size() > kMissMemoryMaxEntries) {
        entries.erase(entries.begin(), entries.end() - kMissMemoryMaxEntries);
    }
    return entries;
}

}  // namespace

std::string MissMemory::DefaultPath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const passwd* pw = getpwuid(getuid());
            home = pw != nullptr ? pw->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] != '/') return {};
        base = std::string(home) + "/.cache";
    }
    return base + "/strofix/lrclib-misses";
}

std::optional<std::int64_t> MissMemory::RememberedAt(const std::string& trackKey,
                                                     std::int64_t now) const {
    std::optional<std::int64_t> at;
    for (const Entry& e : Load(path_)) {
        if (e.key == trackKey && Fresh(e, now) && (!at || e.at > *at)) at = e.at;
    }
    return at;
}

bool MissMemory::Remember(const std::string& trackKey, std::int64_t now, std::string* error) {
    std::vector<Entry> entries = Load(path_);
    std::erase_if(entries, [&](const Entry& e) { return e.key == trackKey; });
    entries.push_back({now, trackKey});
    return Save(path_, Pruned(std::move(entries), now), error);
}

bool MissMemory::Forget(const std::string& trackKey, std::int64_t now, std::string* error) {
    std::vector<Entry> entries = Load(path_);
    const std::size_t before = entries.size();
    std::erase_if(entries, [&](const Entry& e) { return e.key == trackKey; });
    if (entries.size() == before) return true;
    return Save(path_, Pruned(std::move(entries), now), error);
}

}  // namespace fetch
