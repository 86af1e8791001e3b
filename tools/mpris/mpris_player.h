// One MPRIS player on the session bus, as the bridge sees it: its status, its track and its
// position, kept up to date from its signals and from reads that never wait long. Every call
// is asynchronous with a short timeout, so a player that hangs or vanishes never holds up
// the bridge.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>
#include <optional>

#include "tools/mpris/player_choice.h"
#include "tools/mpris/position_clock.h"
#include "tools/mpris/track_naming.h"

namespace mpris {

// How long any call to a player may take.
constexpr int kCallTimeoutMs = 250;

class MprisPlayer : public QObject {
    Q_OBJECT

public:
    MprisPlayer(const QDBusConnection& bus, const QString& busName, QObject* parent = nullptr);

    // Listens to the player's signals and asks for all its properties.
    void Start();

    const QString& BusName() const { return busName_; }
    // Unknown until the player has answered once.
    Status PlaybackStatus() const { return status_; }
    const Track& CurrentTrack() const { return track_; }
    std::uint32_t PositionMs(Clock::time_point at) const { return clock_.PositionMs(at); }

    // Reads `Position` again, unless a read is still under way.
    void RefreshPosition() { ReadPosition(false); }

signals:
    // The status, the track, the rate or the position (a seek, a correction) changed.
    void Changed(mpris::MprisPlayer* player);

private slots:
    void OnPropertiesChanged(const QDBusMessage& message);
    void OnSeeked(const QDBusMessage& message);

private:
    void AskAll();
    // Reads `Position`; `fresh` asks again even while a read is under way (the track changed).
    void ReadPosition(bool fresh);
    // Takes the player's properties; `all` when they are the answer to GetAll.
    void Apply(const QVariantMap& properties, bool all);
    void SetStatus(Status status, Clock::time_point now);
    // The new track waiting for its first position.
    void TakePendingTrack(std::optional<std::int64_t> positionUs, Clock::time_point at);

    QDBusConnection bus_;
    QString busName_;
    Status status_ = Status::Unknown;
    Track track_;
    std::optional<Track> pendingTrack_;
    PositionClock clock_;
    int readsUnderWay_ = 0;
    QTimer retry_;  // asks for all properties again while the player has not answered
};

}  // namespace mpris
