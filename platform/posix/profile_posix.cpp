// The settings file on POSIX: a small initialisation-file reader and updater with the rules
// of the Windows profile functions.
//
// Format: "[section]" lines, each followed by its "key=value" lines. Section and key names
// match without regard to ASCII case; blanks (spaces, tabs) around names and values are
// ignored; one pair of matching quotes ('"' or '\'') around a value is stripped on reading.
// A line whose first non-blank character is ';' is a comment. Lines before the first section
// belong to no section. When a section or a key appears twice, the first key line found in
// file order wins, for reading and for writing alike.
//
// A write changes the one line of the key (or adds one line, or a section at the end) and
// leaves every other byte as it was. The file is replaced atomically: the new text goes to a
// temporary file in the same directory, is flushed to disk, and is renamed over the old one,
// so a crash or a full disk never leaves a half-written settings file. Where the directory
// may not be written but the file may, the file is rewritten in place instead.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform {
namespace {

// A settings file larger than this is not a settings file Strofix wrote; it is neither read
// nor rewritten.
constexpr std::size_t kMaxSettingsFileSize = 1 << 20;
// Symbolic links followed from the settings path before giving up (a loop).
constexpr int kMaxSymlinkHops = 16;
constexpr mode_t kNewFileMode = 0600;
constexpr mode_t kNewDirMode = 0700;
// A temporary file left by a save that was killed is removed at a later save, once it is
// this old and no save holds its lock.
constexpr time_t kStaleTempSeconds = 2;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

// One line of the file: [begin, contentEnd) is its text, [contentEnd, end) its line break
// ("\n", "\r\n", or nothing on a last line without one).
struct Line {
    std::size_t begin;
    std::size_t contentEnd;
    std::size_t end;
};

enum class LineKind { Other, Comment, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;       // section or key name, trimmed
    std::size_t valueBegin = 0;  // key lines: offset of the value (after the blanks past '=')
    std::string_view value;      // key lines: the value, trimmed
};

class LineCursor {
public:
    explicit LineCursor(const std::string& text) : text_(text) {}
    bool Next(Line* line) {
        if (pos_ >= text_.size()) return false;
        const std::size_t nl = text_.find('\n', pos_);
        line->begin = pos_;
        if (nl == std::string::npos) {
            line->contentEnd = line->end = text_.size();
        } else {
            line->end = nl + 1;
            line->contentEnd = (nl > pos_ && text_[nl - 1] == '\r') ? nl - 1 : nl;
        }
        pos_ = line->end;
        return true;
    }

private:
    const std::string& text_;
    std::size_t pos_ = 0;
};

ParsedLine Parse(const std::string& text, const Line& line) {
    ParsedLine out;
    const std::string_view content(text.data() + line.begin, line.contentEnd - line.begin);
    const std::string_view body = Trim(content);
    if (body.empty()) return out;
    if (body.front() == ';') {
        out.kind = LineKind::Comment;
        return out;
    }
    if (body.front() == '[') {
        const std::size_t close = body.find(']');
        if (close != std::string_view::npos) {
            out.kind = LineKind::Section;
            out.name = Trim(body.substr(1, close - 1));
        }
        return out;  // a '[' line without ']' is neither a section nor a key
    }
    const std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) return out;
    out.kind = LineKind::Key;
    out.name = Trim(content.substr(0, eq));
    std::size_t v = eq + 1;
    while (v < content.size() && IsBlank(content[v])) ++v;
    out.valueBegin = line.begin + v;
    out.value = Trim(content.substr(v));
    return out;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

std::string_view StripQuotes(std::string_view v) {
    if (v.size() >= 2 && IsQuote(v.front()) && v.front() == v.back()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

// How a value is written so that reading gives it back unchanged: a value that would lose
// blanks at its ends or a pair of quotes on reading is put inside one more pair of quotes.
std::string EncodeValue(std::string_view v) {
    const bool needsQuotes =
        !v.empty() && (IsBlank(v.front()) || IsBlank(v.back()) ||
                       (v.size() >= 2 && IsQuote(v.front()) && v.front() == v.back()));
    if (!needsQuotes) return std::string(v);
    return "\"" + std::string(v) + "\"";
}

// The key line a read finds: the first key line named `key` in a section named `section`.
struct Found {
    bool sectionFound = false;
    std::size_t sectionInsertAt = 0;  // end of the first matching section's last key line
    bool keyFound = false;
    Line keyLine{};
    ParsedLine key;
};

Found Find(const std::string& text, std::string_view section, std::string_view key) {
    Found f;
    LineCursor cursor(text);
    Line line{};
    bool inSection = false;
    bool inFirstSection = false;
    while (cursor.Next(&line)) {
        const ParsedLine p = Parse(text, line);
        if (p.kind == LineKind::Section) {
            inSection = SameName(p.name, section);
            inFirstSection = inSection && !f.sectionFound;
            if (inFirstSection) {
                f.sectionFound = true;
                f.sectionInsertAt = line.end;
            }
            continue;
        }
        if (p.kind != LineKind::Key || !inSection) continue;
        if (inFirstSection) f.sectionInsertAt = line.end;
        if (!f.keyFound && SameName(p.name, key)) {
            f.keyFound = true;
            f.keyLine = line;
            f.key = p;
        }
    }
    return f;
}

// The line break this file uses: that of its first line, LF for a file without one.
std::string LineBreakOf(const std::string& text) {
    const std::size_t nl = text.find('\n');
    return (nl != std::string::npos && nl > 0 && text[nl - 1] == '\r') ? "\r\n" : "\n";
}

std::string Updated(const std::string& text, std::string_view section, std::string_view key,
                    std::string_view value) {
    const Found f = Find(text, section, key);
    const std::string encoded = EncodeValue(value);
    std::string out;
    if (f.keyFound) {
        out.reserve(text.size() + encoded.size());
        out.append(text, 0, f.key.valueBegin);
        out += encoded;
        out.append(text, f.keyLine.contentEnd, std::string::npos);
        return out;
    }
    const std::string eol = LineBreakOf(text);
    const std::string keyLine = std::string(key) + "=" + encoded;
    if (f.sectionFound) {
        const std::size_t at = f.sectionInsertAt;
        out.append(text, 0, at);
        if (at > 0 && text[at - 1] != '\n') {
            out += eol + keyLine;  // the section ends the file without a final line break
        } else {
            out += keyLine + eol;
        }
        out.append(text, at, std::string::npos);
        return out;
    }
    out = text;
    if (!out.empty() && out.back() != '\n') out += eol;
    out += "[" + std::string(section) + "]" + eol + keyLine + eol;
    return out;
}

// Names and values that the file could not give back as they were written are refused: a
// line break would start a line of its own (another key, another section).
bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool ValidSection(std::string_view s) {
    return !s.empty() && !HasLineBreak(s) && s.find(']') == std::string_view::npos;
}

bool ValidKey(std::string_view k) {
    return !k.empty() && !HasLineBreak(k) && k.find('=') == std::string_view::npos &&
           k.front() != ';' && k.front() != '[';
}

enum class ReadResult { Ok, Missing, Failed };

// Reads a regular file whole. A path that is not a regular file (a directory, a pipe that
// would block) or a file larger than the limit is Failed; one that does not exist, Missing.
ReadResult ReadWhole(const std::string& path, std::string* out, struct stat* info,
                     int extraFlags = 0) {
    out->clear();
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | extraFlags);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > kMaxSettingsFileSize) {
        close(fd);
        return ReadResult::Failed;
    }
    if (info != nullptr) *info = st;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || out->size() + static_cast<std::size_t>(n) > kMaxSettingsFileSize) {
            close(fd);
            return ReadResult::Failed;
        }
        if (n == 0) break;
        out->append(chunk, static_cast<std::size_t>(n));
    }
    close(fd);
    return ReadResult::Ok;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A settings file that is a symbolic link (a dotfile kept elsewhere) is written through to
// the file it names, so the link stays in place. Only links of the user's own, to a file of
// the user's own, are followed: a link another user planted would send the write into a
// file the user never meant (as the kernel's protected-symlinks rule holds). Empty when a
// link is refused or the links loop; the path of a file still to be made when the last
// link names none.
std::string ResolveLinks(std::string path) {
    const uid_t me = geteuid();
    bool viaLink = false;
    for (int hop = 0; hop < kMaxSymlinkHops; ++hop) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? path : std::string();
        if (!S_ISLNK(st.st_mode)) return (viaLink && st.st_uid != me) ? std::string() : path;
        if (st.st_uid != me) return {};
        char target[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0) return {};
        target[n] = '\0';
        path = target[0] == '/' ? std::string(target) : DirectoryOf(path) + "/" + target;
        viaLink = true;
    }
    return {};
}

// A file or directory made inside a directory of another user (root saving a user's
// settings, as under `sudo -E`) is given that directory's owner and group, so the user
// keeps a settings file of their own. Where owners may not be set, nothing changes.
void TakeOwnerOfParent(int fd, const std::string& path) {
    if (geteuid() != 0) return;
    struct stat parent {};
    if (stat(DirectoryOf(path).c_str(), &parent) != 0 || parent.st_uid == 0) return;
    if (fd >= 0) {
        (void)!fchown(fd, parent.st_uid, parent.st_gid);
    } else {
        (void)!lchown(path.c_str(), parent.st_uid, parent.st_gid);
    }
}

// Creates the directory and any missing parents, private to the user.
bool MakeDirectories(const std::string& dir) {
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::string parent = DirectoryOf(dir);
    if (parent != dir && !MakeDirectories(parent)) return false;
    if (mkdir(dir.c_str(), kNewDirMode) == 0) {
        TakeOwnerOfParent(-1, dir);
        return true;
    }
    return errno == EEXIST;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n =
            pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// ".<name>.XXXXXX", the temporary files a save of `name` makes.
bool IsTempName(const std::string& entry, const std::string& base) {
    const std::string prefix = "." + base + ".";
    if (entry.size() != prefix.size() + 6 || entry.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    for (std::size_t i = prefix.size(); i < entry.size(); ++i) {
        const char c = entry[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
            return false;
        }
    }
    return true;
}

// Removes temporary files that a killed save left: regular files of the user's own, named
// as a save names them, a few seconds old, and not locked (a save that runs holds the lock
// on its temporary file until the rename).
void RemoveStaleTemps(const std::string& dir, const std::string& base) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return;
    const int dirFd = dirfd(d);
    const time_t now = time(nullptr);
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (!IsTempName(name, base)) continue;
        const int fd = openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        struct stat now_st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
            st.st_mtime + kStaleTempSeconds <= now && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(dirFd, name.c_str(), &now_st, AT_SYMLINK_NOFOLLOW) == 0 &&
            now_st.st_ino == st.st_ino && now_st.st_dev == st.st_dev) {
            unlinkat(dirFd, name.c_str(), 0);
        }
        close(fd);
    }
    closedir(d);
}

enum class ReplaceResult { Done, Failed, DirectoryReadOnly };

// Replaces `path` by a file holding `text`: the old file stays whole unless the new one is
// completely on disk. The new file gets the old one's mode, owner and group (`old`, null
// for a new file); where the owner or group cannot be kept, nothing is replaced.
ReplaceResult ReplaceFile(const std::string& path, const std::string& text,
                          const struct stat* old) {
    const std::string dir = DirectoryOf(path);
    std::string temp = dir + "/." + BaseNameOf(path) + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return (errno == EACCES || errno == EPERM) ? ReplaceResult::DirectoryReadOnly
                                                   : ReplaceResult::Failed;
    }
    flock(fd, LOCK_EX);  // a later save leaves this file alone while it is written
    bool ok = true;
    struct stat made {};
    if (old != nullptr) {
        ok = fstat(fd, &made) == 0;
        if (ok && (made.st_uid != old->st_uid || made.st_gid != old->st_gid)) {
            ok = fchown(fd, old->st_uid, old->st_gid) == 0;
        }
    } else {
        TakeOwnerOfParent(fd, path);
    }
    const mode_t mode = old != nullptr ? (old->st_mode & 07777) : kNewFileMode;
    ok = ok && WriteAll(fd, text) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    ok = ok && rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    ok = (close(fd) == 0) && ok;
    if (!ok) return ReplaceResult::Failed;
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);  // the rename itself on disk; the new file is whole either way
        close(dirFd);
    }
    return ReplaceResult::Done;
}

// The directory may not be written, so the file cannot be replaced: it is rewritten in
// place. The new text goes over the old first and the file is cut to its length after, so
// a text no longer than the old one needs no new room on the disk.
bool WriteInPlace(int fd, const std::string& text) {
    return WriteAll(fd, text) && ftruncate(fd, static_cast<off_t>(text.size())) == 0 &&
           fsync(fd) == 0;
}

}  // namespace

std::size_t GetProfileString(const char* section, const char* key, const char* def, char* buf,
                             std::size_t size, const char* file) {
    if (buf == nullptr || size == 0) return 0;
    std::string text;
    std::optional<std::string_view> value;
    if (section != nullptr && key != nullptr && file != nullptr &&
        ReadWhole(file, &text, nullptr) == ReadResult::Ok) {
        const Found f = Find(text, Trim(section), Trim(key));
        if (f.keyFound) value = StripQuotes(f.key.value);
    }
    std::string_view result;
    if (value) {
        result = *value;
        const std::size_t nul = result.find('\0');  // a NUL byte in the file ends the value
        if (nul != std::string_view::npos) result = result.substr(0, nul);
    } else {
        // As the Windows function does, the default loses its trailing blanks.
        result = def != nullptr ? std::string_view(def) : std::string_view();
        while (!result.empty() && IsBlank(result.back())) result.remove_suffix(1);
    }
    const std::size_t n = result.size() < size - 1 ? result.size() : size - 1;
    std::memcpy(buf, result.data(), n);
    buf[n] = '\0';
    return n;
}

bool WriteProfileString(const char* section, const char* key, const char* value, const char* file) {
    if (section == nullptr || key == nullptr || value == nullptr || file == nullptr ||
        file[0] == '\0') {
        return false;
    }
    const std::string_view sectionName = Trim(section);
    const std::string_view keyName = Trim(key);
    if (!ValidSection(sectionName) || !ValidKey(keyName) || HasLineBreak(value)) return false;

    const std::string path = ResolveLinks(file);
    if (path.empty() || !MakeDirectories(DirectoryOf(path))) return false;
    std::string text;
    struct stat old {};
    // The path is free of links now; one that appears in its place is not followed.
    const ReadResult read = ReadWhole(path, &text, &old, O_NOFOLLOW);
    if (read == ReadResult::Failed) return false;
    const std::string updated = Updated(text, sectionName, keyName, value);
    if (read == ReadResult::Missing) {
        RemoveStaleTemps(DirectoryOf(path), BaseNameOf(path));
        return ReplaceFile(path, updated, nullptr) == ReplaceResult::Done;
    }

    // A file the user may not write is not written, as a read-only file on Windows is not
    // (even with the value it holds already); a file without any write permission counts
    // as read-only for root too.
    if ((old.st_mode & 0222) == 0) return false;
    const int fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat opened {};
    bool ok = fstat(fd, &opened) == 0 && opened.st_dev == old.st_dev && opened.st_ino == old.st_ino;
    if (ok && updated != text) {  // an unchanged file is not rewritten
        RemoveStaleTemps(DirectoryOf(path), BaseNameOf(path));
        const ReplaceResult replaced = ReplaceFile(path, updated, &old);
        ok = replaced == ReplaceResult::Done ||
             (replaced == ReplaceResult::DirectoryReadOnly && WriteInPlace(fd, updated));
    }
    close(fd);
    return ok;
}

}  // namespace platform
