#include "tools/mpris/player_choice.h"

#include <utility>

namespace mpris {

Status ParseStatus(std::string_view text) {
    if (text == "Playing") return Status::Playing;
    if (text == "Paused") return Status::Paused;
    if (text == "Stopped") return Status::Stopped;
    return Status::Unknown;
}

const char* StatusName(Status status) {
    switch (status) {
        case Status::Playing:
            return "Playing";
        case Status::Paused:
            return "Paused";
        case Status::Stopped:
            return "Stopped";
        case Status::Unknown:
            break;
    }
    return "Unknown";
}

PlayerChoice::PlayerChoice(std::string wanted) : wanted_(std::move(wanted)) {
    if (wanted_.starts_with(kBusNamePrefix)) wanted_.erase(0, kBusNamePrefix.size());
}

bool PlayerChoice::Matches(std::string_view busName) const {
    if (!busName.starts_with(kBusNamePrefix)) return false;
    const std::string_view name = busName.substr(kBusNamePrefix.size());
    if (name.empty()) return false;
    if (wanted_.empty()) return true;
    if (!name.starts_with(wanted_)) return false;
    const std::string_view rest = name.substr(wanted_.size());
    return rest.empty() || rest.starts_with(".instance");
}

void PlayerChoice::Seen(const std::string& busName, Status status) {
    if (!Matches(busName)) return;
    Entry& entry = players_[busName];
    if (status == Status::Playing && entry.status != Status::Playing)
        entry.playingSince = ++events_;
    entry.status = status;
    Choose();
}

void PlayerChoice::Gone(const std::string& busName) {
    players_.erase(busName);
    if (followed_ == busName) followed_.clear();
    Choose();
}

void PlayerChoice::Choose() {
    const std::string* latest = nullptr;
    std::uint64_t latestSince = 0;
    for (const auto& [name, entry] : players_) {
        if (entry.status == Status::Playing && entry.playingSince > latestSince) {
            latest = &name;
            latestSince = entry.playingSince;
        }
    }
    if (latest != nullptr) {
        followed_ = *latest;
        return;
    }
    if (!followed_.empty()) {
        const auto it = players_.find(followed_);
        if (it != players_.end() && it->second.status != Status::Unknown) return;
        followed_.clear();
    }
    if (wanted_.empty()) return;
    // A named player is followed even while it does not play: a paused one first.
    for (const Status preferred : {Status::Paused, Status::Stopped}) {
        for (const auto& [name, entry] : players_) {
            if (entry.status == preferred) {
                followed_ = name;
                return;
            }
        }
    }
}

}  // namespace mpris
