// The player's block as this side sees it: opening writes the size word, the reads
// return the path and the position, and a closed reader reports failure.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "player/player_info.h"
#include "tests/core/support.h"

using strofix_test::TestBlock;
using strofix_test::UniqueName;

namespace {

std::uint32_t ReadLe32(const void* at) {
    const auto* p = static_cast<const unsigned char*>(at);
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

TEST(PlayerBlock, CreatedBlockIsZerosWithTheSizeWord) {
    struct Names {  // removed however the test ends
        std::string block = UniqueName("created"), event = UniqueName("created-event");
        ~Names() {
            platform::RemoveSharedBlock(block.c_str());
            platform::RemoveNamedEvent(event.c_str());
        }
    } names;
    const char* name = names.block.c_str();
    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(name, names.event.c_str()));
    platform::SharedBlock view;  // the reader made it; look through a second view
    ASSERT_TRUE(platform::OpenSharedBlock(name, kPlayerBlockSize, &view));
    ASSERT_EQ(view.mappedSize, kPlayerBlockSize);
    const auto* bytes = static_cast<const unsigned char*>(view.view);
    EXPECT_EQ(ReadLe32(bytes), kPlayerSizeWord);
    for (std::size_t i = 4; i < kPlayerBlockSize; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;

    char path[kSongPathSize];
    std::memset(path, 'Z', sizeof path);
    std::uint32_t position = 77;
    EXPECT_TRUE(reader.GetSongPath(path, sizeof path));
    EXPECT_STREQ(path, "");
    EXPECT_TRUE(reader.GetPosition(&position));
    EXPECT_EQ(position, 0U);
    platform::CloseSharedBlock(&view);
}

TEST(PlayerBlock, ExistingBlockKeepsItsContentAndGetsTheSizeWord) {
    TestBlock player;  // the player made the block first
    ASSERT_TRUE(player.Ok());
    std::memset(player.Bytes(), 0xEE, player.Size());
    player.SetPath("D:\\Music\\Song.mp3");
    player.SetPosition(0x01020304);
    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(player.Name(), player.EventName()));
    EXPECT_EQ(ReadLe32(player.Bytes()), kPlayerSizeWord);
    EXPECT_EQ(player.Bytes()[4], 0xEE);  // nothing else written
    EXPECT_EQ(player.Bytes()[kSongPathOffset - 1], 0xEE);

    char path[kSongPathSize];
    std::uint32_t position = 0;
    ASSERT_TRUE(reader.GetSongPath(path, sizeof path));
    EXPECT_STREQ(path, "D:\\Music\\Song.mp3");
    ASSERT_TRUE(reader.GetPosition(&position));
    EXPECT_EQ(position, 0x01020304U);  // little-endian
}

TEST(PlayerBlock, ClosedReaderFailsAndLeavesOutputsAlone) {
    CPlayerInfo reader;
    char path[16];
    std::memset(path, 'Z', sizeof path);
    std::uint32_t position = 12345;
    EXPECT_FALSE(reader.GetSongPath(path, sizeof path));
    EXPECT_FALSE(reader.GetPosition(&position));
    for (char c : path) EXPECT_EQ(c, 'Z');
    EXPECT_EQ(position, 12345U);
}

TEST(PlayerBlock, PathReadsAreBoundedByBufferAndBlock) {
    TestBlock player;
    ASSERT_TRUE(player.Ok());
    CPlayerInfo reader;
    ASSERT_TRUE(reader.OpenBlock(player.Name(), player.EventName()));
    const std::string full(kPlayerBlockSize - kSongPathOffset, 'p');  // 261 bytes, no NUL

    struct Case {
        const char* name;
        std::string path;
        std::size_t bufferSize;  // bytes handed to GetSongPath; 0 is refused
        std::string want;
    };
    const std::vector<Case> cases = {
        {"short path", "D:\\a.mp3", 100, "D:\\a.mp3"},
        {"no NUL up to the end of the block, large buffer", full, 400, full},
        {"no NUL, the tick's buffer", full, kSongPathSize, full.substr(0, kSongPathSize - 1)},
        {"buffer smaller than the path", "D:\\Music\\Song.mp3", 6, "D:\\Mu"},
        {"one-byte buffer", "D:\\Music\\Song.mp3", 1, ""},
        {"exactly fits", "D:\\x", 5, "D:\\x"},
        {"empty buffer", "D:\\x", 0, ""},
    };
    for (const Case& c : cases) {
        player.SetPath(c.path);
        // A buffer with a fence after it, so a write past the size given shows.
        std::vector<char> out(c.bufferSize + 8, 'Z');
        ASSERT_EQ(reader.GetSongPath(out.data(), c.bufferSize), c.bufferSize > 0) << c.name;
        if (c.bufferSize > 0) {
            EXPECT_EQ(std::string(out.data()), c.want) << c.name;
        }
        for (std::size_t i = c.bufferSize; i < out.size(); ++i) {
            ASSERT_EQ(out[i], 'Z') << c.name << ": byte " << i << " written";
        }
    }
}

}  // namespace
