// Reading MPRIS values out of what QtDBus delivers, trusting nothing: a player may send any
// type under any key. A value of the wrong type is left out, never guessed at.
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <cstdint>
#include <optional>

#include "tools/mpris/player_choice.h"
#include "tools/mpris/track_naming.h"

namespace mpris {

// Texts longer than this (in UTF-16 units) are cut: no file name or message needs more.
constexpr qsizetype kMaxTextChars = 4096;

// A dictionary of string to variant (a{sv}), as a map, or nothing for any other type.
std::optional<QVariantMap> AsVariantMap(const QVariant& value);
// A signed 64-bit count (x, or another integer type that fits), or nothing.
std::optional<std::int64_t> AsInt64(const QVariant& value);

// The track in a `Metadata` value; keys of the wrong type are left empty. A value that is not
// a dictionary at all gives an empty track.
Track TrackFromMetadata(const QVariant& metadata);
// A `PlaybackStatus` value: Stopped for anything but "Playing" or "Paused", so a player that
// sends nonsense publishes nothing.
Status StatusFromValue(const QVariant& value);
// A `Rate` value, or nothing when it is not a finite double.
std::optional<double> RateFromValue(const QVariant& value);

}  // namespace mpris
