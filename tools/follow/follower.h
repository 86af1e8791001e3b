// The window's logic without a window: a CLyricsDlg on the headless dialog backend, fed
// with the player block, whose shown text strofix-follow prints. The load, the tick and
// its rules are the window's own code; this only takes the block's state to the tick and
// reads back what the lyric field shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "player/player_info.h"
#include "tools/follow/follow_format.h"
#include "ui/lyrics_dlg.h"

namespace follow {

class Follower {
public:
    // Follows the block `blockName` (its event is `eventName`). `lyricsDir` is the
    // directory to read lyrics from; null reads the window's setting. The setting is never
    // written.
    Follower(const std::string& blockName, const std::string& eventName, const char* lyricsDir);

    // The line a window that has followed the song since it began shows now: the song's
    // lyrics are loaded (by the tick, as in the window) and the tick is then run at each
    // tagged second up to the play position, and at the position itself.
    ShownLine Once();

    // Runs the tick every 300 ms, as the window's timer does, and hands `emit` the line
    // after each tick that changed it (and after the first tick), but not after a tick
    // that loaded a song's lyrics, which leaves the field as it was. Ends when `stop` answers
    // true or `emit` returns false (its output is gone). Returns 0.
    int Run(const std::function<bool()>& stop, const std::function<bool(const ShownLine&)>& emit);

    // One tick with the block as it is now; returns what the window shows after it.
    ShownLine Tick();

    // Called before each timer tick reads the block (tests move the player here).
    std::function<void()> beforeTick;

    // False while the player's block could not be opened (the tick then sees no song).
    bool BlockOpen() const { return sourceOpen_; }

private:
    class Dialog : public CLyricsDlg {
    public:
        explicit Dialog(Follower& owner) : owner_(owner) {}
        void OnTimer(unsigned timerId) override;
        void WindowTick() { CLyricsDlg::OnTimer(kTickTimerId); }

    private:
        Follower& owner_;
    };

    void TakeSnapshot();
    void SetSnapshotPosition(std::uint32_t ms);
    ShownLine Shown();
    void AfterTimerTick();

    std::string blockName_;
    std::string eventName_;
    CPlayerInfo source_;  // the player's block
    bool sourceOpen_ = false;
    // What the tick reads: a copy of the block taken just before each tick, so what is
    // reported with the shown text is the very song the tick saw.
    unsigned char snapshot_[kPlayerBlockSize] = {};
    char snapshotPath_[kSongPathSize] = "";
    Dialog dlg_;
    std::function<bool(const ShownLine&)> emit_;
    bool emitted_ = false;
    ShownLine last_;
};

}  // namespace follow
