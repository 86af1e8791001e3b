// Which player is followed among several, as they start, pause and leave.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/mpris/player_choice.h"

namespace mpris {
namespace {

const std::string kMpv = "org.mpris.MediaPlayer2.mpv";
const std::string kMpv2 = "org.mpris.MediaPlayer2.mpv.instance4242";
const std::string kVlc = "org.mpris.MediaPlayer2.vlc";
const std::string kAudacious = "org.mpris.MediaPlayer2.audacious";

TEST(PlayerChoice, NamesThatCount) {
    struct Case {
        std::string wanted;
        std::string bus;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"", kMpv, true},
        {"", kMpv2, true},
        {"", "org.mpris.MediaPlayer2.", false},
        {"", "org.mpris.MediaPlayer2", false},
        {"", "org.freedesktop.Notifications", false},
        {"", "org.mpris.MediaPlayer3.mpv", false},
        {"mpv", kMpv, true},
        {"mpv", kMpv2, true},
        {"mpv", "org.mpris.MediaPlayer2.mpvx", false},
        {"mpv", "org.mpris.MediaPlayer2.mpv.other", false},
        {"mpv", kVlc, false},
        {"org.mpris.MediaPlayer2.mpv", kMpv, true},
        {"mpv.instance4242", kMpv2, true},
        {"mpv.instance4242", kMpv, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wanted + " / " + c.bus);
        EXPECT_EQ(PlayerChoice(c.wanted).Matches(c.bus), c.matches);
    }
}

TEST(PlayerChoice, FollowsThePlayerThatStartedPlayingLast) {
    PlayerChoice choice;
    choice.Seen(kMpv, Status::Unknown);  // has not answered yet
    EXPECT_EQ(choice.Followed(), "");
    choice.Seen(kMpv, Status::Paused);
    EXPECT_EQ(choice.Followed(), "");  // nothing plays
    choice.Seen(kMpv, Status::Playing);
    EXPECT_EQ(choice.Followed(), kMpv);
    choice.Seen(kVlc, Status::Playing);
    EXPECT_EQ(choice.Followed(), kVlc);
    choice.Seen(kMpv, Status::Playing);  // no change of status: still vlc
    EXPECT_EQ(choice.Followed(), kVlc);
    choice.Seen(kVlc, Status::Paused);  // mpv still plays: it takes over
    EXPECT_EQ(choice.Followed(), kMpv);
    choice.Seen(kMpv, Status::Paused);  // both paused: mpv is kept
    EXPECT_EQ(choice.Followed(), kMpv);
    choice.Seen(kMpv, Status::Stopped);
    EXPECT_EQ(choice.Followed(), kMpv);
    choice.Seen(kVlc, Status::Playing);
    EXPECT_EQ(choice.Followed(), kVlc);
    choice.Seen(kAudacious, Status::Paused);  // a paused newcomer changes nothing
    EXPECT_EQ(choice.Followed(), kVlc);
}

TEST(PlayerChoice, AFollowedPlayerThatLeaves) {
    PlayerChoice choice;
    choice.Seen(kMpv, Status::Playing);
    choice.Seen(kVlc, Status::Playing);
    choice.Seen(kAudacious, Status::Playing);
    EXPECT_EQ(choice.Followed(), kAudacious);
    choice.Gone(kAudacious);  // the latest of those still playing
    EXPECT_EQ(choice.Followed(), kVlc);
    choice.Seen(kMpv, Status::Paused);
    choice.Gone(kVlc);  // nobody else plays: none
    EXPECT_EQ(choice.Followed(), "");
    choice.Gone("org.mpris.MediaPlayer2.never.seen");
    EXPECT_EQ(choice.Followed(), "");
    choice.Seen(kMpv, Status::Playing);
    EXPECT_EQ(choice.Followed(), kMpv);
}

TEST(PlayerChoice, PausingAndPlayingAgainCountsAsAStart) {
    PlayerChoice choice;
    choice.Seen(kMpv, Status::Playing);
    choice.Seen(kVlc, Status::Playing);
    choice.Seen(kMpv, Status::Paused);
    choice.Seen(kMpv, Status::Playing);
    EXPECT_EQ(choice.Followed(), kMpv);
}

TEST(PlayerChoice, ANamedPlayerIsFollowedEvenWhenItDoesNotPlay) {
    PlayerChoice choice("mpv");
    choice.Seen(kVlc, Status::Playing);  // not ours
    EXPECT_EQ(choice.Followed(), "");
    choice.Seen(kMpv, Status::Stopped);
    EXPECT_EQ(choice.Followed(), kMpv);
    choice.Seen(kMpv2, Status::Paused);  // paused comes before stopped only when choosing anew
    EXPECT_EQ(choice.Followed(), kMpv);
    choice.Gone(kMpv);
    EXPECT_EQ(choice.Followed(), kMpv2);
    choice.Seen(kMpv, Status::Playing);
    EXPECT_EQ(choice.Followed(), kMpv);
    choice.Gone(kMpv);
    choice.Gone(kMpv2);
    EXPECT_EQ(choice.Followed(), "");
}

}  // namespace
}  // namespace mpris
