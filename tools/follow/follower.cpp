#include "tools/follow/follower.h"

#include <cstring>

#include "platform/headless/headless_backend.h"
#include "ui/lyrics_dir.h"

namespace follow {

Follower::Follower(const std::string& blockName, const std::string& eventName,
                   const char* lyricsDir)
    : blockName_(blockName), eventName_(eventName), dlg_(*this) {
    dlg_.m_saveLyricsDirectory = false;
    if (lyricsDir != nullptr) {
        std::strncpy(dlg_.m_lyricsDir, lyricsDir, sizeof dlg_.m_lyricsDir - 1);
        dlg_.m_lyricsDir[sizeof dlg_.m_lyricsDir - 1] = '\0';
    } else {
        ReadLyricsDirectory(dlg_.m_lyricsDir, sizeof dlg_.m_lyricsDir);
    }
    dlg_.m_player.AttachBlock(snapshot_, sizeof snapshot_);
    TakeSnapshot();
}

void Follower::TakeSnapshot() {
    // The window opens (or creates) the block once; here a block that could not be opened
    // is tried again at every tick, so the follower waits for it.
    if (!sourceOpen_) sourceOpen_ = source_.OpenBlock(blockName_.c_str(), eventName_.c_str());
    char path[kSongPathSize] = "";
    std::uint32_t position = 0;
    if (sourceOpen_) {
        if (!source_.GetSongPath(path, sizeof path)) path[0] = '\0';
        if (!source_.GetPosition(&position)) position = 0;
    }
    std::memcpy(snapshotPath_, path, sizeof snapshotPath_);
    std::memset(snapshot_, 0, sizeof snapshot_);
    std::memcpy(snapshot_ + kSizeWordOffset, &kPlayerSizeWord, sizeof kPlayerSizeWord);
    std::memcpy(snapshot_ + kSongPathOffset, path, std::strlen(path));
    SetSnapshotPosition(position);
}

void Follower::SetSnapshotPosition(std::uint32_t ms) {
    std::memcpy(snapshot_ + kPositionOffset, &ms, sizeof ms);
}

ShownLine Follower::Shown() {
    ShownLine line;
    line.text = dlg_.Backend().GetItemText(IDC_LYRIC_EDIT);
    line.tooltip = SongFileName(snapshotPath_);
    if (snapshotPath_[0] == '\0') {
        line.lineClass = LineClass::Idle;
    } else if (std::strcmp(TickSongPath(), snapshotPath_) == 0) {
        line.lineClass = LineClass::Lyric;
    } else {
        line.lineClass = LineClass::NoLyrics;
    }
    return line;
}

ShownLine Follower::Tick() {
    TakeSnapshot();
    dlg_.WindowTick();
    return Shown();
}

ShownLine Follower::Once() {
    ShownLine line = Tick();  // loads the song's lyrics when a song is playing
    if (line.lineClass != LineClass::Lyric) return line;
    std::uint32_t position = 0;
    std::memcpy(&position, snapshot_ + kPositionOffset, sizeof position);
    const std::uint32_t now = position / 1000;
    for (int i = 0; i < dlg_.m_entryCount; ++i) {
        const std::uint32_t second = dlg_.m_table[i].seconds;  // the table is sorted
        if (second > now) break;
        if (i > 0 && second == dlg_.m_table[i - 1].seconds) continue;
        SetSnapshotPosition(second * 1000);  // no overflow: second <= position / 1000
        dlg_.WindowTick();
    }
    SetSnapshotPosition(position);
    dlg_.WindowTick();
    return Shown();
}

void Follower::Dialog::OnTimer(unsigned timerId) {
    if (owner_.beforeTick) owner_.beforeTick();
    owner_.TakeSnapshot();
    const std::string loaded = TickSongPath();
    CLyricsDlg::OnTimer(timerId);
    // A tick that loads a song's lyrics leaves the field as it was; the song's first line
    // comes with the next tick. Reporting in between would pair the old text with the new
    // song.
    if (loaded == TickSongPath()) owner_.AfterTimerTick();
}

void Follower::AfterTimerTick() {
    const ShownLine line = Shown();
    if (emitted_ && line == last_) return;
    emitted_ = true;
    last_ = line;
    if (emit_ && !emit_(line)) dlg_.EndDialog(kIdCancel);
}

int Follower::Run(const std::function<bool()>& stop,
                  const std::function<bool(const ShownLine&)>& emit) {
    emit_ = emit;
    dlg_.SetTimer(kTickTimerId, kTickPeriodMs);  // as the window does when it opens
    HeadlessDialogBackend::Of(dlg_).RunTimers(stop);
    emit_ = nullptr;
    return 0;
}

}  // namespace follow
