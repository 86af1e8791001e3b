// The bridge: watches the session bus for MPRIS players, follows one of them (PlayerChoice)
// and keeps the block up to date through the Publisher.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>

#include "tools/mpris/mpris_player.h"
#include "tools/mpris/player_choice.h"
#include "tools/mpris/publisher.h"

namespace mpris {

// While the followed player plays: how often the position goes into the block, and how
// often it is read from the player to correct the running clock.
constexpr int kWritePeriodMs = 50;
constexpr int kReadPeriodMs = 1000;

class Bridge : public QObject {
    Q_OBJECT

public:
    Bridge(const QDBusConnection& bus, PlayerChoice choice, Publisher& publisher,
           QObject* parent = nullptr);

    // Starts watching the bus and writes the empty state into the block. False, with
    // `error` set, when the bus cannot be watched.
    bool Start(QString* error);

signals:
    // The session bus went away.
    void Lost();

private slots:
    void OnNameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    void Add(const QString& name);
    void Remove(const QString& name);
    void OnPlayerChanged(MprisPlayer* player);
    // Chooses the followed player again, publishes its state and sets the timers.
    void Update();
    MprisPlayer* FollowedPlayer() const;

    QDBusConnection bus_;
    PlayerChoice choice_;
    Publisher& publisher_;
    std::map<QString, std::unique_ptr<MprisPlayer>> players_;
    QTimer write_;
    QTimer read_;
    QTimer busCheck_;
};

}  // namespace mpris
