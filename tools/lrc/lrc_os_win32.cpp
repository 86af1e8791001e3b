// Code pages through MultiByteToWideChar and WideCharToMultiByte; terminals through
// _isatty. Code pages are named like iconv's ("CP1252", "WINDOWS-1251", "GBK",
// "SHIFT_JIS", "ISO-8859-2", ...) or by number ("1252").
#include <windows.h>
#include <io.h>

#include <cctype>
#include <cstdlib>
#include <vector>

#include "tools/lrc/lrc_os.h"

namespace lrc::os {

namespace {

std::string Upper(const std::string& s) {
    std::string u;
    for (const char c : s) {
        if (c != '_' && c != '-')
            u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return u;
}

bool AllDigits(const std::string& s) {
    if (s.empty() || s.size() > 5) return false;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// The code page number a name stands for; 0 when it names none this system has.
UINT CodePageOf(const std::string& name) {
    const std::string u = Upper(name);  // "SHIFT_JIS" -> "SHIFTJIS", "ISO-8859-2" -> "ISO88592"
    struct Alias {
        const char* name;
        UINT cp;
    };
    static const Alias kAliases[] = {
        {"UTF8", CP_UTF8},  {"GBK", 936},       {"GB2312", 936},   {"CP936", 936},
        {"GB18030", 54936}, {"BIG5", 950},      {"SHIFTJIS", 932}, {"SJIS", 932},
        {"EUCKR", 949},     {"EUCJP", 20932},   {"KOI8R", 20866},  {"KOI8U", 21866},
        {"ASCII", 20127},   {"USASCII", 20127}, {"LATIN1", 28591},
    };
    UINT cp = 0;
    for (const Alias& a : kAliases) {
        if (u == a.name) cp = a.cp;
    }
    std::string digits;
    if (cp == 0) {
        if (u.rfind("WINDOWS", 0) == 0)
            digits = u.substr(7);
        else if (u.rfind("CP", 0) == 0)
            digits = u.substr(2);
        else if (u.rfind("ISO8859", 0) == 0 && AllDigits(u.substr(7))) {
            cp = 28590 + static_cast<UINT>(std::atoi(u.c_str() + 7));
        } else
            digits = u;
        if (cp == 0 && AllDigits(digits)) cp = static_cast<UINT>(std::atoi(digits.c_str()));
    }
    if (cp == 0 || !IsValidCodePage(cp)) return 0;
    return cp;
}

void AppendUtf8(std::string* out, unsigned cp) {
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out += static_cast<char>(0xC0 | (cp >> 6));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out += static_cast<char>(0xE0 | (cp >> 12));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (cp >> 18));
        *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 (valid, from the system) to UTF-8.
void Utf16ToUtf8(const wchar_t* w, int n, std::string* out) {
    for (int i = 0; i < n; ++i) {
        unsigned c = static_cast<unsigned short>(w[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n) {
            const unsigned lo = static_cast<unsigned short>(w[i + 1]);
            if (lo >= 0xDC00 && lo < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, c);
    }
}

class Win32Encoder : public Encoder {
public:
    explicit Win32Encoder(UINT cp) : cp_(cp) {}
    bool Encode(std::string_view utf8Char, std::string* out) override {
        wchar_t w[4];
        const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Char.data(),
                                          static_cast<int>(utf8Char.size()), w, 4);
        if (n <= 0) return false;
        char bytes[16];
        BOOL usedDefault = FALSE;
        const bool canTellDefault = cp_ != CP_UTF8 && cp_ != 54936;
        const int len =
            WideCharToMultiByte(cp_, canTellDefault ? WC_NO_BEST_FIT_CHARS : 0, w, n, bytes,
                                sizeof bytes, nullptr, canTellDefault ? &usedDefault : nullptr);
        if (len <= 0 || usedDefault) return false;
        out->append(bytes, static_cast<std::size_t>(len));
        return true;
    }

private:
    UINT cp_;
};

}  // namespace

bool DecodeToUtf8(const std::string& name, std::string_view bytes, std::string* utf8, int* replaced,
                  std::string* error) {
    const UINT cp = CodePageOf(name);
    if (cp == 0) {
        *error = "unknown encoding '" + name + "'";
        return false;
    }
    // Line by line, so that a byte the code page does not define costs one line at most
    // the strict conversion; such a line is converted leniently and counted.
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const char* p = bytes.data() + start;
        const int len = static_cast<int>(end - start);
        int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, p, len, nullptr, 0);
        bool strict = n > 0;
        if (!strict) n = MultiByteToWideChar(cp, 0, p, len, nullptr, 0);
        std::vector<wchar_t> w(static_cast<std::size_t>(n > 0 ? n : 1));
        n = MultiByteToWideChar(cp, strict ? MB_ERR_INVALID_CHARS : 0, p, len, w.data(), n);
        if (!strict) ++*replaced;
        if (n > 0) Utf16ToUtf8(w.data(), n, utf8);
        start = end;
    }
    return true;
}

std::unique_ptr<Encoder> OpenEncoder(const std::string& name, std::string* error) {
    const UINT cp = CodePageOf(name);
    if (cp == 0) {
        *error = "unknown encoding '" + name + "'";
        return nullptr;
    }
    return std::make_unique<Win32Encoder>(cp);
}

std::string SystemEncoding() {
    return "CP" + std::to_string(GetACP());
}

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

}  // namespace lrc::os
