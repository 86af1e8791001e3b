// Which MPRIS player the bridge follows. Standard library only.
//
// Without a wanted name: the player that is playing; when several play, the one that started
// playing last. A followed player that pauses or stops is kept until another one starts
// playing; one that goes away is replaced by the player that started playing last among
// those still playing, or by none. With a wanted name only the players of that name count,
// and one of them is followed even while none plays (a paused one before a stopped one).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace mpris {

constexpr std::string_view kBusNamePrefix = "org.mpris.MediaPlayer2.";

enum class Status { Unknown, Stopped, Paused, Playing };

// "Playing", "Paused", "Stopped"; anything else is Unknown.
Status ParseStatus(std::string_view text);
const char* StatusName(Status status);

class PlayerChoice {
public:
    // `wanted` is NAME of --player NAME (the bus name org.mpris.MediaPlayer2.NAME, or one of
    // its instances NAME.instance…); empty follows any player. A full bus name is taken too.
    explicit PlayerChoice(std::string wanted = {});

    // Whether `busName` is an MPRIS player this choice may follow.
    bool Matches(std::string_view busName) const;

    // A player's status is known (it appeared, or its status changed). Unknown means it has
    // not answered yet: it is never followed then.
    void Seen(const std::string& busName, Status status);
    // The player left the bus.
    void Gone(const std::string& busName);

    // The bus name of the player followed; empty when none.
    const std::string& Followed() const { return followed_; }

private:
    struct Entry {
        Status status = Status::Unknown;
        std::uint64_t playingSince = 0;  // when it last started playing, in events
    };
    void Choose();

    std::string wanted_;
    std::map<std::string, Entry> players_;
    std::string followed_;
    std::uint64_t events_ = 0;
};

}  // namespace mpris
