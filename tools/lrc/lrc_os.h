// What the converter needs of the operating system: code-page conversions and whether a
// stream is a terminal. One implementation per platform (lrc_os_posix.cpp with iconv,
// lrc_os_win32.cpp with MultiByteToWideChar/WideCharToMultiByte), picked in CMake.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace lrc::os {

// Decodes `bytes`, text in code page `name`, to UTF-8. A byte sequence the code page does
// not define becomes U+FFFD and is counted in `*replaced`. False, with `error` saying why,
// when the code page is unknown.
bool DecodeToUtf8(const std::string& name, std::string_view bytes, std::string* utf8, int* replaced,
                  std::string* error);

// Encodes UTF-8 text into a code page, one character at a time, so that the caller can cut
// lines at character boundaries in the output encoding.
class Encoder {
public:
    virtual ~Encoder() = default;
    // Appends the bytes of the one character `utf8Char` to `out`. False (nothing appended)
    // when the code page has no such character.
    virtual bool Encode(std::string_view utf8Char, std::string* out) = 0;
};

// An encoder into code page `name`; null, with `error` saying why, when it is unknown.
std::unique_ptr<Encoder> OpenEncoder(const std::string& name, std::string* error);

// The encoding programs on this system write text in: "UTF-8" on Linux, the ANSI code page
// ("CP1252", "CP936", ...) on Windows.
std::string SystemEncoding();

// Whether `stream` is an interactive terminal (progress lines are shown only there).
bool IsTerminal(std::FILE* stream);

}  // namespace lrc::os
