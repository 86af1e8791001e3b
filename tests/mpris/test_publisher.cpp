// What goes into the block when, in which order, and what the listeners hear.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/mpris/publisher.h"

namespace mpris {
namespace {

// The writes, in order: "pos N" and "path P".
class RecordingSink : public BlockSink {
public:
    void WritePosition(std::uint32_t ms) override { writes.push_back("pos " + std::to_string(ms)); }
    void WritePath(const std::string& path) override { writes.push_back("path " + path); }
    std::vector<std::string> Take() { return std::exchange(writes, {}); }
    std::vector<std::string> writes;
};

using Writes = std::vector<std::string>;
const std::string kMpv = "org.mpris.MediaPlayer2.mpv";

Track Song(const std::string& name) {
    Track t;
    t.url = "file:///m/" + name + ".ogg";
    t.title = name;
    t.artists = {"Artist"};
    t.album = "Album";
    t.lengthUs = 180'000'000;
    return t;
}

Followed State(Status status, const Track& track, std::uint32_t ms) {
    return Followed{kMpv, status, track, ms};
}

class PublisherTest : public ::testing::Test {
protected:
    RecordingSink sink;
    std::vector<std::string> log;
    std::vector<TrackChange> changes;
    Publisher publisher{sink, [this](const std::string& line) { log.push_back(line); }};
    void SetUp() override {
        publisher.AddTrackListener([this](const TrackChange& c) { changes.push_back(c); });
    }
};

TEST_F(PublisherTest, FirstWriteClearsTheBlock) {
    publisher.Publish(Followed{});
    EXPECT_EQ(sink.Take(), (Writes{"pos 0", "path "}));
    publisher.Publish(Followed{});
    EXPECT_EQ(sink.Take(), Writes{});
    EXPECT_TRUE(log.empty());
}

TEST_F(PublisherTest, PositionGoesBeforeANewPath) {
    publisher.Publish(Followed{});
    sink.Take();
    publisher.Publish(State(Status::Playing, Song("A"), 1500));
    EXPECT_EQ(sink.Take(), (Writes{"pos 1500", "path Z:\\m\\A.ogg"}));
    publisher.Publish(State(Status::Playing, Song("A"), 1580));
    publisher.Publish(State(Status::Playing, Song("A"), 1580));  // unchanged: nothing
    EXPECT_EQ(sink.Take(), (Writes{"pos 1580"}));
    publisher.Publish(State(Status::Playing, Song("B"), 20));
    EXPECT_EQ(sink.Take(), (Writes{"pos 20", "path Z:\\m\\B.ogg"}));
}

TEST_F(PublisherTest, PausedKeepsThePositionStoppedClears) {
    publisher.Publish(State(Status::Playing, Song("A"), 5000));
    sink.Take();
    publisher.Publish(State(Status::Paused, Song("A"), 5000));
    EXPECT_EQ(sink.Take(), Writes{});
    publisher.Publish(State(Status::Paused, Song("A"), 9000));  // a seek while paused
    EXPECT_EQ(sink.Take(), (Writes{"pos 9000"}));
    publisher.Publish(State(Status::Stopped, Song("A"), 9000));
    EXPECT_EQ(sink.Take(), (Writes{"pos 0", "path "}));
    publisher.Publish(State(Status::Playing, Song("A"), 0));
    EXPECT_EQ(sink.Take(), (Writes{"pos 0", "path Z:\\m\\A.ogg"}));
    publisher.Publish(Followed{});  // the player left
    EXPECT_EQ(sink.Take(), (Writes{"pos 0", "path "}));
    EXPECT_EQ(publisher.PublishedPath(), "");
}

TEST_F(PublisherTest, ListenersHearEachNewTrackOnce) {
    publisher.Publish(State(Status::Playing, Song("A"), 0));
    Track longer = Song("A");
    longer.lengthUs = 181'000'000;  // the length came later: the same track
    publisher.Publish(State(Status::Playing, longer, 100));
    publisher.Publish(State(Status::Paused, longer, 100));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].player, kMpv);
    EXPECT_EQ(changes[0].artist, "Artist");
    EXPECT_EQ(changes[0].title, "A");
    EXPECT_EQ(changes[0].album, "Album");
    EXPECT_EQ(changes[0].lengthUs, 180'000'000);
    EXPECT_EQ(changes[0].songPath, "Z:\\m\\A.ogg");
    publisher.Publish(State(Status::Playing, Song("B"), 0));
    publisher.Publish(State(Status::Stopped, Song("B"), 0));  // stopped: nobody is told
    publisher.Publish(State(Status::Playing, Song("B"), 0));  // a new start of B
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[2].title, "B");
}

TEST_F(PublisherTest, VerboseLinesSayWhatChangedAndWhyOnce) {
    Track stream;
    stream.url = "file:///m/a%5Cb.ogg";  // a backslash in the name: nothing published
    stream.title = "Odd";
    publisher.Publish(State(Status::Playing, stream, 0));
    publisher.Publish(State(Status::Playing, stream, 80));
    publisher.Publish(State(Status::Playing, Song("A"), 0));
    publisher.Publish(Followed{});
    const std::vector<std::string> expected = {
        "following " + kMpv,
        "track: Odd",
        "note: the file name holds a backslash, which Strofix would take for a folder, so "
        "nothing is published",
        "track: Artist - A",
        "path: Z:\\m\\A.ogg",
        "following no player",
        "path: (none)"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].songPath, "");
}

TEST_F(PublisherTest, PositionAloneOnlyWhileASongIsPublished) {
    publisher.PublishPosition(500);  // nothing written yet: nothing
    publisher.Publish(State(Status::Playing, Song("A"), 1000));
    sink.Take();
    publisher.PublishPosition(1050);
    publisher.PublishPosition(1050);
    EXPECT_EQ(sink.Take(), (Writes{"pos 1050"}));
    publisher.Publish(State(Status::Paused, Song("A"), 1100));
    publisher.PublishPosition(1200);  // paused still publishes its song: a seek moves it
    EXPECT_EQ(sink.Take(), (Writes{"pos 1100", "pos 1200"}));
    publisher.Publish(State(Status::Stopped, Song("A"), 0));
    sink.Take();
    publisher.PublishPosition(1300);
    publisher.Publish(Followed{});
    publisher.PublishPosition(1400);
    EXPECT_EQ(sink.Take(), Writes{});
}

TEST_F(PublisherTest, ClearPathLeavesThePosition) {
    publisher.Publish(State(Status::Playing, Song("A"), 7000));
    sink.Take();
    publisher.ClearPath();
    EXPECT_EQ(sink.Take(), (Writes{"path "}));
}

}  // namespace
}  // namespace mpris
