// Feeds arbitrary bytes to the LRC converter (the first byte picks --fill and the
// encodings) and checks what it writes: at most 250 lines, each a seven-character tag with
// seconds under 60 and its text, at most 99 bytes, no other bracket, no byte that would end
// a read or the text early, times strictly rising; and each line, scanned by the loader's
// own tag scan, yields exactly the entry its tag says.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "sync/lyrics_file.h"
#include "tools/lrc/lrc_convert.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void CheckOutput(const std::string& out) {
    static LyricTable table;
    Check(!out.empty() && out.back() == '\n');
    int lines = 0;
    long previous = -1;
    for (std::size_t start = 0; start < out.size();) {
        const std::size_t end = out.find('\n', start);
        Check(end != std::string::npos);
        const std::string line = out.substr(start, end - start);
        start = end + 1;
        ++lines;
        Check(line.size() >= 7 && line.size() <= kLineBufferSize - 1);
        Check(line[0] == '[' && IsDigit(line[1]) && IsDigit(line[2]) && line[3] == ':' &&
              line[4] >= '0' && line[4] <= '5' && IsDigit(line[5]) && line[6] == ']');
        for (std::size_t i = 7; i < line.size(); ++i) {
            const char c = line[i];
            Check(c != '[' && c != ']' && c != '\r' && c != '\0' && c != 0x1A);
        }
        const long seconds =
            (line[1] - '0') * 600 + (line[2] - '0') * 60 + (line[4] - '0') * 10 + (line[5] - '0');
        Check(seconds > previous);
        previous = seconds;

        const std::string piece = line + "\n";
        int count = 0, dropped = 0;
        Check(ScanPiece(piece.c_str(), table, &count, &dropped) == 1 && count == 1);
        Check(table[0].seconds == static_cast<std::uint32_t>(seconds));
        Check(line.compare(7, std::string::npos, table[0].text) == 0);
    }
    Check(lines <= kLyricSlots);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    lrc::ConvertOptions o;
    o.fill = (data[0] & 1) != 0;
    o.toEncoding = (data[0] & 2) != 0 ? "CP1252" : (data[0] & 8) != 0 ? "GBK" : "UTF-8";
    if ((data[0] & 4) != 0) o.fromEncoding = "CP1251";
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const lrc::ConvertResult r = lrc::Convert(bytes, o);
    if (r.ok) {
        CheckOutput(r.output);
        Check(r.entries > 0 && r.entries <= kLyricSlots);
    } else {
        Check(!r.error.empty() && r.output.empty());
    }
    return 0;
}
