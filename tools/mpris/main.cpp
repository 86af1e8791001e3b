// strofix-mpris: makes any MPRIS player on the session bus (mpv, VLC, Audacious, Rhythmbox, a
// browser...) the player Strofix follows. It writes the song path and the play position of
// the player it follows into the player block, until SIGINT or SIGTERM.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <string>

#include "player/player_block_writer.h"
#include "player/player_info.h"
#include "strofix_version.h"
#include "tools/fetch/bridge_fetch.h"
#include "tools/mpris/block_lock.h"
#include "tools/mpris/mpris_bridge.h"
#include "tools/mpris/mpris_values.h"
#include "tools/tool_args.h"

namespace {

constexpr const char* kProgram = "strofix-mpris";
// Another bridge already writes the block: nothing to do (the systemd unit does not retry).
constexpr int kExitTaken = 3;

const char kUsage[] =
    "usage: strofix-mpris [--player NAME] [--block NAME] [--verbose] [--fetch [--lrclib-url URL]]\n"
    "       strofix-mpris --list\n"
    "Follows an MPRIS player on the session bus and writes the song it plays and the play\n"
    "position into the block Strofix reads, until interrupted.\n"
    "  --player NAME  follow only org.mpris.MediaPlayer2.NAME (and its NAME.instance... names);\n"
    "                 without it, the player that started playing last\n"
    "  --block NAME   write another shared block than Strofix's (for tests)\n"
    "  --verbose      print a line whenever the player, the track or the path changes\n"
    "  --list         print each player on the bus with its status, track and song path\n"
    "  --fetch        fetch the lyrics of a track that has no lyrics file from LRCLIB, in\n"
    "                 the background (off unless given: it sends artist, title, album and\n"
    "                 length of every such track over the network)\n"
    "  --lrclib-url URL  the LRCLIB server to ask (default https://lrclib.net)\n"
    "  --version      print the version\n"
    "  --help         print this help\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, why.c_str(), kUsage);
    return tools::kExitUsage;
}

// The block, as the publisher writes it.
class WriterSink : public mpris::BlockSink {
public:
    explicit WriterSink(PlayerBlockWriter& writer) : writer_(writer) {}
    void WritePosition(std::uint32_t ms) override { writer_.SetPosition(ms); }
    void WritePath(const std::string& path) override { writer_.SetPath(path); }

private:
    PlayerBlockWriter& writer_;
};

// SIGINT and SIGTERM end the event loop through a socket, the one thing a handler may do.
int g_signalWrite = -1;

extern "C" void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_signalWrite, &byte, 1);
}

bool QuitOnSignals(QCoreApplication& app) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
    g_signalWrite = fds[1];
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

// A blocking call to a player that waits no longer than any call of the bridge.
QDBusMessage CallPlayer(const QDBusConnection& bus, const QString& service, const QString& member,
                        const QVariantList& args) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/mpris/MediaPlayer2"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), member);
    call.setArguments(args);
    return bus.call(call, QDBus::Block, mpris::kCallTimeoutMs);
}

int List(const QDBusConnection& bus) {
    const QDBusMessage names = bus.call(
        QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames")),
        QDBus::Block, 2000);
    if (names.type() != QDBusMessage::ReplyMessage || names.arguments().isEmpty()) {
        std::fprintf(stderr, "%s: the session bus did not list its names: %s\n", kProgram,
                     qPrintable(names.errorMessage()));
        return tools::kExitFailure;
    }
    QStringList players;
    const mpris::PlayerChoice any;
    for (const QString& name : names.arguments().constFirst().toStringList()) {
        if (any.Matches(name.toStdString())) players << name;
    }
    players.sort();
    if (players.isEmpty()) std::printf("no MPRIS player on the session bus\n");
    const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
    for (const QString& name : players) {
        std::printf("%s\n", qPrintable(name));
        const QDBusMessage reply =
            CallPlayer(bus, name, QStringLiteral("GetAll"), {playerInterface});
        const std::optional<QVariantMap> all =
            reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                ? mpris::AsVariantMap(reply.arguments().constFirst())
                : std::nullopt;
        if (!all) {
            std::printf("  status: no answer (%s)\n", qPrintable(reply.errorMessage()));
            continue;
        }
        const mpris::Status status =
            mpris::StatusFromValue(all->value(QStringLiteral("PlaybackStatus")));
        const mpris::Track track = mpris::TrackFromMetadata(all->value(QStringLiteral("Metadata")));
        const mpris::SongPath song = mpris::SongPathFor(track);
        std::printf("  status: %s\n", mpris::StatusName(status));
        std::printf("  track:  %s\n", mpris::DescribeTrack(track).c_str());
        if (!track.url.empty())
            std::printf("  url:    %s\n", mpris::DescribeTrack({track.url, {}, {}, {}, 0}).c_str());
        std::printf("  path:   %s\n", song.path.empty() ? "(none)" : song.path.c_str());
        if (!song.problem.empty()) std::printf("  note:   %s\n", song.problem.c_str());
    }
    return tools::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    tools::Args args(argc, argv);
    std::optional<std::string> player;
    std::optional<std::string> block;
    std::optional<std::string> lrclibUrl;
    bool verbose = false;
    bool list = false;
    bool fetchLyrics = false;
    while (!args.Done()) {
        const std::string arg = args.Take();
        std::string value;
        if (arg == "--help" || arg == "-h") {
            std::printf("%s", kUsage);
            return tools::kExitOk;
        } else if (arg == "--version") {
            std::printf("%s %s\n", kProgram, STROFIX_VERSION);
            return tools::kExitOk;
        } else if (arg == "--verbose" || arg == "-v") {
            verbose = true;
        } else if (arg == "--list") {
            list = true;
        } else if (arg == "--fetch") {
            fetchLyrics = true;
        } else if (arg == "--lrclib-url" && args.TakeValue(arg, &value, &lrclibUrl)) {
            std::string why;
            if (!fetch::ValidBaseUrl(value, &why)) return Usage("--lrclib-url " + why);
            lrclibUrl = value;
        } else if (arg == "--player" && args.TakeValue(arg, &value, &player)) {
            if (value.empty()) return Usage("--player wants a name");
            player = value;
        } else if (arg == "--block" && args.TakeValue(arg, &value, &block)) {
            if (value.empty()) return Usage("--block wants a name");
            block = value;
        } else {
            return Usage(args.Error().empty() ? "unknown option '" + arg + "'" : args.Error());
        }
    }
    if (list && (player || block || verbose || fetchLyrics || lrclibUrl))
        return Usage("--list takes no other option");
    if (lrclibUrl && !fetchLyrics) return Usage("--lrclib-url goes with --fetch");

    // Qt's own event loop is lighter than GLib's, and the bridge needs nothing of GLib.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "%s: cannot reach the session bus: %s\n", kProgram,
                     qPrintable(bus.lastError().message()));
        return tools::kExitFailure;
    }
    if (list) return List(bus);

    PlayerBlockWriter writer;
    const std::string blockName = block.value_or(kPlayerBlockName);
    if (!writer.Open(blockName, kProgram)) return tools::kExitFailure;
    std::string why;
    switch (mpris::LockBlock(blockName, &why)) {
        case mpris::LockResult::Locked:
            break;
        case mpris::LockResult::Taken:
            std::fprintf(stderr, "%s: %s\n", kProgram, why.c_str());
            return kExitTaken;
        case mpris::LockResult::Failed:
            std::fprintf(stderr, "%s: %s\n", kProgram, why.c_str());
            return tools::kExitFailure;
    }
    WriterSink sink(writer);
    mpris::Publisher publisher(sink, [verbose](const std::string& line) {
        if (!verbose) return;
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    // With --fetch, a followed track without a lyrics file is fetched in the background, on
    // this event loop; its lines go where the publisher's go.
    std::unique_ptr<fetch::BridgeFetch> fetcher;
    if (fetchLyrics) {
        fetch::ClientOptions options;
        if (lrclibUrl) options.baseUrl = *lrclibUrl;
        const auto say = [verbose](const std::string& line) {
            if (!verbose) return;
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        };
        fetcher = std::make_unique<fetch::BridgeFetch>(options, fetch::MissMemory::DefaultPath(),
                                                       std::string(), say);
        publisher.AddTrackListener(
            [&fetcher](const mpris::TrackChange& change) { fetcher->OnTrack(change); });
    }

    if (!QuitOnSignals(app)) {
        std::fprintf(stderr, "%s: cannot catch SIGINT and SIGTERM\n", kProgram);
        return tools::kExitFailure;
    }
    mpris::Bridge bridge(bus, mpris::PlayerChoice(player.value_or("")), publisher);
    int exitCode = tools::kExitOk;
    QObject::connect(&bridge, &mpris::Bridge::Lost, &app, [&] {
        std::fprintf(stderr, "%s: lost the session bus\n", kProgram);
        exitCode = tools::kExitFailure;
        app.quit();
    });
    QString error;
    if (!bridge.Start(&error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, qPrintable(error));
        publisher.ClearPath();
        return tools::kExitFailure;
    }
    app.exec();
    publisher.ClearPath();
    if (verbose) std::printf("path cleared; bye\n");
    return exitCode;
}
