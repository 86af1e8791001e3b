#include "tests/lrc/lrc_test_support.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "sync/lyrics_file.h"

namespace lrc_test {

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& tag) {
    static std::atomic<int> counter{0};
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    for (;;) {
        path_ = base / ("strofix-lrc-test-" + tag + "-" +
                        std::to_string(static_cast<unsigned>(std::rand())) + "-" +
                        std::to_string(counter++));
        if (fs::create_directory(path_, ec)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Table LoadThroughLoader(const std::string& bytes) {
    TempDir dir("load");
    const std::string path = dir / "Song.txt";
    WriteFile(path, bytes);
    static LyricTable table;
    TextModeFile file;
    int count = 0;
    Table out;
    if (!LoadLyricsFile(path.c_str(), file, table, &count)) return out;
    for (int i = 0; i < count; ++i) out.emplace_back(table[i].seconds, table[i].text);
    return out;
}

}  // namespace lrc_test
