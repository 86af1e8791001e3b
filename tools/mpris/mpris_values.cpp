#include "tools/mpris/mpris_values.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QStringList>
#include <cmath>
#include <limits>

namespace mpris {
namespace {

// The value itself when it still sits in a D-Bus variant wrapper.
QVariant Unwrapped(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return value.value<QDBusVariant>().variant();
    return value;
}

std::string BoundedUtf8(const QString& text) {
    QString cut = text;
    if (cut.size() > kMaxTextChars) {
        qsizetype end = kMaxTextChars;
        if (cut.at(end - 1).isHighSurrogate()) --end;
        cut.truncate(end);
    }
    return cut.toUtf8().toStdString();
}

std::optional<QString> AsString(const QVariant& value) {
    const QVariant v = Unwrapped(value);
    if (v.metaType() == QMetaType::fromType<QString>()) return v.toString();
    return std::nullopt;
}

// Artists as a list of strings; a single string counts as one artist (some players send it).
std::vector<std::string> ArtistsOf(const QVariant& value) {
    const QVariant v = Unwrapped(value);
    std::vector<std::string> artists;
    if (v.metaType() == QMetaType::fromType<QString>()) {
        artists.push_back(BoundedUtf8(v.toString()));
    } else if (v.metaType() == QMetaType::fromType<QStringList>()) {
        const QStringList list = v.toStringList();
        qsizetype total = 0;
        for (const QString& a : list) {
            if (total > kMaxTextChars) break;
            total += a.size();
            artists.push_back(BoundedUtf8(a));
        }
    }
    return artists;
}

}  // namespace

std::optional<QVariantMap> AsVariantMap(const QVariant& value) {
    const QVariant v = Unwrapped(value);
    if (v.metaType() == QMetaType::fromType<QVariantMap>()) return v.toMap();
    if (v.metaType() != QMetaType::fromType<QDBusArgument>()) return std::nullopt;
    const QDBusArgument arg = v.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a{sv}")) return std::nullopt;
    QVariantMap map;
    arg >> map;
    return map;
}

std::optional<std::int64_t> AsInt64(const QVariant& value) {
    const QVariant v = Unwrapped(value);
    switch (v.metaType().id()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::UChar:
            return v.toLongLong();
        case QMetaType::ULongLong: {
            const qulonglong u = v.toULongLong();
            if (u > static_cast<qulonglong>(std::numeric_limits<std::int64_t>::max()))
                return std::nullopt;
            return static_cast<std::int64_t>(u);
        }
        default:
            return std::nullopt;
    }
}

Track TrackFromMetadata(const QVariant& metadata) {
    Track track;
    const std::optional<QVariantMap> map = AsVariantMap(metadata);
    if (!map) return track;
    if (const auto url = AsString(map->value(QStringLiteral("xesam:url"))))
        track.url = url->toUtf8().toStdString();
    if (const auto title = AsString(map->value(QStringLiteral("xesam:title"))))
        track.title = BoundedUtf8(*title);
    if (const auto album = AsString(map->value(QStringLiteral("xesam:album"))))
        track.album = BoundedUtf8(*album);
    track.artists = ArtistsOf(map->value(QStringLiteral("xesam:artist")));
    if (const auto length = AsInt64(map->value(QStringLiteral("mpris:length"))))
        track.lengthUs = *length > 0 ? *length : 0;
    return track;
}

Status StatusFromValue(const QVariant& value) {
    const std::optional<QString> text = AsString(value);
    const Status status = text ? ParseStatus(text->toStdString()) : Status::Unknown;
    return status == Status::Unknown ? Status::Stopped : status;
}

std::optional<double> RateFromValue(const QVariant& value) {
    const QVariant v = Unwrapped(value);
    if (v.metaType() != QMetaType::fromType<double>()) return std::nullopt;
    const double rate = v.toDouble();
    if (!std::isfinite(rate)) return std::nullopt;
    return rate;
}

}  // namespace mpris
