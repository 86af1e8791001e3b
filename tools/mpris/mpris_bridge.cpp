#include "tools/mpris/mpris_bridge.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <utility>

namespace mpris {
namespace {

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
constexpr int kBusCheckMs = 5000;

}  // namespace

Bridge::Bridge(const QDBusConnection& bus, PlayerChoice choice, Publisher& publisher,
               QObject* parent)
    : QObject(parent), bus_(bus), choice_(std::move(choice)), publisher_(publisher) {
    write_.setTimerType(Qt::PreciseTimer);
    write_.setInterval(kWritePeriodMs);
    connect(&write_, &QTimer::timeout, this, [this] {
        if (MprisPlayer* followed = FollowedPlayer())
            publisher_.PublishPosition(followed->PositionMs(Clock::now()));
    });
    read_.setInterval(kReadPeriodMs);
    connect(&read_, &QTimer::timeout, this, [this] {
        if (MprisPlayer* followed = FollowedPlayer()) followed->RefreshPosition();
    });
    busCheck_.setInterval(kBusCheckMs);
    connect(&busCheck_, &QTimer::timeout, this, [this] {
        if (!bus_.isConnected()) emit Lost();
    });
}

bool Bridge::Start(QString* error) {
    if (!bus_.isConnected()) {
        *error = bus_.lastError().message();
        return false;
    }
    if (!bus_.connect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"), this,
                      SLOT(OnNameOwnerChanged(QString, QString, QString)))) {
        *error = QStringLiteral("cannot listen for players coming and going: ") +
                 bus_.lastError().message();
        return false;
    }
    Update();  // nothing followed yet: an empty path
    // Players already on the bus. The bus itself always answers; its reply comes through the
    // event loop like everything else.
    const QDBusMessage call = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService,
                                                             QStringLiteral("ListNames"));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs * 8), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return;
        for (const QString& name : reply.arguments().constFirst().toStringList()) Add(name);
    });
    busCheck_.start();
    return true;
}

void Bridge::OnNameOwnerChanged(const QString& name, const QString& oldOwner,
                                const QString& newOwner) {
    if (!choice_.Matches(name.toStdString())) return;
    if (!oldOwner.isEmpty()) Remove(name);
    if (!newOwner.isEmpty()) Add(name);
}

void Bridge::Add(const QString& name) {
    if (!choice_.Matches(name.toStdString()) || players_.count(name) != 0) return;
    auto player = std::make_unique<MprisPlayer>(bus_, name, this);
    connect(player.get(), &MprisPlayer::Changed, this, &Bridge::OnPlayerChanged);
    MprisPlayer* started = player.get();
    players_.emplace(name, std::move(player));
    started->Start();
}

void Bridge::Remove(const QString& name) {
    const auto it = players_.find(name);
    if (it == players_.end()) return;
    // Its answers still under way die with it.
    players_.erase(it);
    choice_.Gone(name.toStdString());
    Update();
}

void Bridge::OnPlayerChanged(MprisPlayer* player) {
    choice_.Seen(player->BusName().toStdString(), player->PlaybackStatus());
    Update();
}

MprisPlayer* Bridge::FollowedPlayer() const {
    const std::string& followed = choice_.Followed();
    if (followed.empty()) return nullptr;
    const auto it = players_.find(QString::fromStdString(followed));
    return it == players_.end() ? nullptr : it->second.get();
}

void Bridge::Update() {
    MprisPlayer* followed = FollowedPlayer();
    Followed state;
    if (followed != nullptr) {
        state.player = followed->BusName().toStdString();
        state.status = followed->PlaybackStatus();
        state.track = followed->CurrentTrack();
        state.positionMs = followed->PositionMs(Clock::now());
    }
    publisher_.Publish(state);
    const bool playing = followed != nullptr && state.status == Status::Playing;
    if (playing && !write_.isActive()) {
        write_.start();
        read_.start();
    } else if (!playing && write_.isActive()) {
        write_.stop();
        read_.stop();
    }
}

}  // namespace mpris
