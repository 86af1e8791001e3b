#include "tools/fetch/lyrics_fetcher.h"

#include <sys/stat.h>

#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <ctime>
#include <utility>

#include "tools/lrc/lrc_convert.h"

namespace fetch {

namespace {

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::string LocalTime(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    char text[32] = "";
    if (localtime_r(&tt, &tm) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
    return text;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

bool Stored(Result r) {
    return r == Result::Written || r == Result::Instrumental;
}

std::string Describe(const Track& track) {
    std::string text = track.artist.empty() ? track.title : track.artist + " - " + track.title;
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    if (text.size() > 200) text = text.substr(0, 200) + "...";
    return "'" + text + "'";
}

LyricsFetcher::LyricsFetcher(ClientOptions options, std::string missMemoryPath)
    : client_(std::move(options)),
      missMemoryPath_(std::move(missMemoryPath)),
      context_(std::make_unique<QObject>()) {}

LyricsFetcher::~LyricsFetcher() = default;

bool LyricsFetcher::Start(const Track& track, const std::string& lyricsPath, Done done,
                          bool askAgain) {
    if (client_.InFlight(track)) return false;
    Report early;
    early.path = lyricsPath;
    if (Exists(lyricsPath)) {
        early.result = Result::Present;
        early.message = lyricsPath + " is there already; nothing fetched";
    } else if (!askAgain && !missMemoryPath_.empty()) {
        const auto at = MissMemory(missMemoryPath_).RememberedAt(TrackKey(track), Now());
        if (at) {
            early.result = Result::Remembered;
            early.message = "LRCLIB had no synced lyrics for " + Describe(track) + " at " +
                            LocalTime(*at) + "; not asked again before " +
                            LocalTime(*at + kMissMemorySeconds);
        }
    }
    if (!early.message.empty()) {
        QTimer::singleShot(0, context_.get(), [done, early] { done(early); });
        return true;
    }
    return client_.Fetch(track, [this, track, lyricsPath, done](const Answer& answer) {
        done(Finish(track, lyricsPath, answer));
    });
}

Report LyricsFetcher::Run(const Track& track, const std::string& lyricsPath, bool askAgain) {
    QEventLoop loop;
    Report report;
    bool finished = false;
    if (!Start(
            track, lyricsPath,
            [&](const Report& r) {
                report = r;
                finished = true;
                loop.quit();
            },
            askAgain)) {
        report.message = "a fetch for " + Describe(track) + " is running already";
        return report;
    }
    if (!finished) loop.exec();
    return report;
}

void LyricsFetcher::RememberMiss(const Track& track, Report* report) {
    if (missMemoryPath_.empty()) return;
    std::string error;
    if (MissMemory(missMemoryPath_).Remember(TrackKey(track), Now(), &error)) {
        report->message += "; not asked again for 24 hours";
    } else {
        report->warnings.push_back("the miss is not remembered: " + error);
    }
}

Report LyricsFetcher::Finish(const Track& track, const std::string& lyricsPath,
                             const Answer& answer) {
    Report report;
    report.path = lyricsPath;
    report.answer = answer;
    std::string bytes;
    switch (answer.outcome) {
        case Outcome::Failed:
            report.result = Result::Failed;
            report.message = "no lyrics fetched for " + Describe(track) + ": " + answer.error;
            return report;
        case Outcome::NotFound:
            report.result = Result::NotFound;
            report.message =
                "LRCLIB has no lyrics for " + Describe(track) + " (" + answer.error + ")";
            RememberMiss(track, &report);
            return report;
        case Outcome::PlainOnly:
            report.result = Result::PlainOnly;
            report.message = "LRCLIB has only plain lyrics without times for " + Describe(track) +
                             "; nothing written, as Strofix needs a time for every line";
            RememberMiss(track, &report);
            return report;
        case Outcome::Instrumental:
            report.result = Result::Instrumental;
            bytes = kInstrumentalFile;
            break;
        case Outcome::Synced: {
            report.result = Result::Written;
            lrc::ConvertOptions options;
            // A fetched file usually appears while the song already plays: with every second
            // filled, the line being sung shows at once instead of at the next line's time.
            options.fill = true;
            lrc::ConvertResult converted = lrc::Convert(answer.synced, options);
            report.warnings = std::move(converted.warnings);
            if (!converted.ok || converted.entries == 0) {
                report.result = Result::Failed;
                report.message =
                    "the synced lyrics LRCLIB has for " + Describe(track) +
                    " do not convert: " + (converted.ok ? "no time tag in them" : converted.error);
                return report;
            }
            bytes = std::move(converted.output);
            break;
        }
    }
    std::string error;
    switch (lrc::StoreLyrics(lyricsPath, bytes, /*force=*/false, &error)) {
        case lrc::StoreResult::Written:
            report.message = report.result == Result::Instrumental
                                 ? "LRCLIB marks " + Describe(track) + " as instrumental; wrote " +
                                       lyricsPath + ", which shows \"(instrumental)\""
                                 : "wrote " + lyricsPath + " with the synced lyrics of " +
                                       Describe(track) + " from LRCLIB";
            if (!missMemoryPath_.empty())
                MissMemory(missMemoryPath_).Forget(TrackKey(track), Now(), nullptr);
            break;
        case lrc::StoreResult::Exists:
            report.result = Result::Present;
            report.message = lyricsPath + " appeared meanwhile; kept as it is";
            break;
        case lrc::StoreResult::Failed:
            report.result = Result::Failed;
            report.message = "cannot write " + lyricsPath + ": " + error;
            break;
    }
    return report;
}

}  // namespace fetch
