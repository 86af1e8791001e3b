#include "tools/mpris/mpris_player.h"

#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QStringList>

#include "tools/mpris/mpris_values.h"

namespace mpris {
namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
constexpr int kRetryMs = 3000;

// When a value read over the bus held: halfway between asking and the answer.
Clock::time_point Midpoint(Clock::time_point asked, Clock::time_point answered) {
    return asked + (answered - asked) / 2;
}

// The first argument of a successful reply, or nothing.
std::optional<QVariant> FirstArgument(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().constFirst();
}

}  // namespace

MprisPlayer::MprisPlayer(const QDBusConnection& bus, const QString& busName, QObject* parent)
    : QObject(parent), bus_(bus), busName_(busName) {
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &MprisPlayer::AskAll);
}

void MprisPlayer::Start() {
    bus_.connect(busName_, kObjectPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"),
                 this, SLOT(OnPropertiesChanged(QDBusMessage)));
    bus_.connect(busName_, kObjectPath, kPlayerInterface, QStringLiteral("Seeked"), this,
                 SLOT(OnSeeked(QDBusMessage)));
    AskAll();
}

void MprisPlayer::AskAll() {
    QDBusMessage call = QDBusMessage::createMethodCall(busName_, kObjectPath, kPropertiesInterface,
                                                       QStringLiteral("GetAll"));
    call << kPlayerInterface;
    const Clock::time_point asked = Clock::now();
    const PositionClock::ReadTicket ticket = clock_.BeginRead();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, asked, ticket] {
        watcher->deleteLater();
        const Clock::time_point at = Midpoint(asked, Clock::now());
        const std::optional<QVariant> first = FirstArgument(watcher->reply());
        const std::optional<QVariantMap> all =
            first ? AsVariantMap(*first) : std::optional<QVariantMap>();
        if (!all) {
            if (status_ == Status::Unknown) retry_.start();
            return;
        }
        retry_.stop();
        Apply(*all, true);
        if (const auto position = AsInt64(all->value(QStringLiteral("Position"))))
            clock_.FinishRead(ticket, *position, at);
        emit Changed(this);
    });
}

void MprisPlayer::ReadPosition(bool fresh) {
    if (!fresh && readsUnderWay_ > 0) return;
    QDBusMessage call = QDBusMessage::createMethodCall(busName_, kObjectPath, kPropertiesInterface,
                                                       QStringLiteral("Get"));
    call << kPlayerInterface << QStringLiteral("Position");
    ++readsUnderWay_;
    const Clock::time_point asked = Clock::now();
    const PositionClock::ReadTicket ticket = clock_.BeginRead();
    const bool forTrack = fresh && pendingTrack_.has_value();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, asked, ticket, forTrack] {
                watcher->deleteLater();
                --readsUnderWay_;
                const Clock::time_point at = Midpoint(asked, Clock::now());
                const std::optional<QVariant> first = FirstArgument(watcher->reply());
                const std::optional<std::int64_t> position =
                    first ? AsInt64(*first) : std::optional<std::int64_t>();
                if (forTrack && pendingTrack_) {
                    TakePendingTrack(position, at);
                    return;
                }
                if (position && clock_.FinishRead(ticket, *position, at)) emit Changed(this);
            });
}

void MprisPlayer::TakePendingTrack(std::optional<std::int64_t> positionUs, Clock::time_point at) {
    track_ = *pendingTrack_;
    pendingTrack_.reset();
    clock_.SetLength(track_.lengthUs);
    // A track whose position cannot be read starts at its beginning.
    clock_.Jump(positionUs.value_or(0), at);
    emit Changed(this);
}

void MprisPlayer::Apply(const QVariantMap& properties, bool all) {
    const Clock::time_point now = Clock::now();
    const QString rateKey = QStringLiteral("Rate");
    if (all || properties.contains(rateKey))
        clock_.SetRate(RateFromValue(properties.value(rateKey)).value_or(1.0), now);
    const QString metadataKey = QStringLiteral("Metadata");
    if (all || properties.contains(metadataKey)) {
        const Track track = TrackFromMetadata(properties.value(metadataKey));
        if (all) {
            pendingTrack_.reset();
            track_ = track;
            clock_.SetLength(track.lengthUs);
        } else if (pendingTrack_ ? SameTrack(track, *pendingTrack_) : SameTrack(track, track_)) {
            (pendingTrack_ ? *pendingTrack_ : track_) = track;  // the length, say
            if (!pendingTrack_) clock_.SetLength(track.lengthUs);
        } else {
            // The new track is published with its own position: read it first.
            pendingTrack_ = track;
            ReadPosition(true);
        }
    }
    const QString statusKey = QStringLiteral("PlaybackStatus");
    if (all || properties.contains(statusKey)) {
        const Status status = StatusFromValue(properties.value(statusKey));
        if (status != status_) {
            const bool wasKnown = status_ != Status::Unknown;
            SetStatus(status, now);
            // The exact position where it paused or went on (GetAll brings its own).
            if (wasKnown && status != Status::Stopped) ReadPosition(false);
        }
    }
}

void MprisPlayer::SetStatus(Status status, Clock::time_point now) {
    status_ = status;
    clock_.SetRunning(status == Status::Playing, now);
    if (status == Status::Stopped) clock_.Jump(0, now);
}

void MprisPlayer::OnPropertiesChanged(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    if (args.size() < 2 || args[0].metaType() != QMetaType::fromType<QString>() ||
        args[0].toString() != kPlayerInterface)
        return;
    const std::optional<QVariantMap> changed = AsVariantMap(args[1]);
    if (!changed) return;
    Apply(*changed, false);
    // Properties announced only by name: read them all again.
    if (args.size() >= 3 && args[2].metaType() == QMetaType::fromType<QStringList>()) {
        const QStringList invalidated = args[2].toStringList();
        for (const char* key : {"Metadata", "PlaybackStatus", "Rate"}) {
            if (invalidated.contains(QLatin1String(key))) {
                AskAll();
                break;
            }
        }
    }
    emit Changed(this);
}

void MprisPlayer::OnSeeked(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    if (args.isEmpty()) return;
    const std::optional<std::int64_t> position = AsInt64(args[0]);
    if (!position) return;
    clock_.Jump(*position, Clock::now());
    emit Changed(this);
}

}  // namespace mpris
