#include "tests/core/support.h"

#include <atomic>
#include <cstring>
#include <fstream>

namespace strofix_test {

std::string UniqueName(const char* what) {
    static std::atomic<int> counter{0};
    return "StrofixTest-" + std::to_string(ProcessId()) + "-" + std::to_string(++counter) + "-" +
           what;
}

TempDir::TempDir() {
    path_ = std::filesystem::temp_directory_path() / UniqueName("dir");
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::Write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

TestBlock::TestBlock(std::size_t size) : name_(UniqueName("block")), event_(UniqueName("event")) {
    platform::OpenSharedBlock(name_.c_str(), size, &block_);
}

TestBlock::~TestBlock() {
    platform::CloseSharedBlock(&block_);
    platform::RemoveSharedBlock(name_.c_str());
    platform::RemoveNamedEvent(event_.c_str());
}

void TestBlock::SetPath(const std::string& path) {
    constexpr std::size_t kOffset = 1056;
    if (block_.mappedSize <= kOffset) return;
    const std::size_t room = block_.mappedSize - kOffset;
    const std::size_t n = path.size() < room ? path.size() : room;
    std::memcpy(Bytes() + kOffset, path.data(), n);
    if (n < room) Bytes()[kOffset + n] = '\0';
}

void TestBlock::SetPosition(std::uint32_t ms) {
    // Little-endian, as the player writes it.
    for (int i = 0; i < 4; ++i) Bytes()[12 + i] = static_cast<unsigned char>(ms >> (8 * i));
}

std::vector<Entry> Entries(const LyricEntry* table, int count) {
    std::vector<Entry> out;
    for (int i = 0; i < count; ++i) out.emplace_back(table[i].seconds, table[i].text);
    return out;
}

std::vector<Entry> ReadFileEntries(const std::filesystem::path& file) {
    static LyricTable table;
    TextModeFile f;
    if (!f.Open(file.string().c_str())) return {};
    const int count = ReadLyricsFile(f, table);
    return Entries(table, count);
}

}  // namespace strofix_test
