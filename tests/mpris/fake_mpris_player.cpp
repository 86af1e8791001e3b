// A small MPRIS player of the tests' own, on the session bus, that misbehaves on request.
// Usage: fake_mpris_player NAME  (takes org.mpris.MediaPlayer2.NAME)
// Reads one command a line on stdin and answers "ok" (or "ready" once on the bus) on stdout:
//   play | pause | stop              set PlaybackStatus and announce it
//   track URL|TITLE|ARTIST|LENGTH    set Metadata (fields may be empty) and announce it
//   huge-title BYTES                 a title of BYTES bytes with '/', '\' and newlines, no URL
//   wrong-types                      Metadata whose values all have the wrong types
//   metadata-not-a-map               Metadata that is a string
//   status-wrong-type                PlaybackStatus that is a number
//   position-wrong-type              answer Position with a string from now on
//   seeked US | seeked-wrong-type    move the position and send Seeked (or a Seeked of text)
//   hang                             never answer anything again
//   vanish-on-call                   leave the bus in the middle of the next call
//   quit
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <string>

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

class FakePlayer : public QDBusVirtualObject {
public:
    QVariant status = QStringLiteral("Stopped");
    QVariant metadata = QVariantMap{};
    qlonglong positionUs = 0;
    bool positionAsText = false;
    bool vanishOnCall = false;
    QElapsedTimer since;  // since positionUs held

    qlonglong Position() const {
        const bool playing = status.metaType() == QMetaType::fromType<QString>() &&
                             status.toString() == QLatin1String("Playing");
        return positionUs + (playing ? since.nsecsElapsed() / 1000 : 0);
    }
    void Hold() {
        positionUs = Position();
        since.restart();
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        if (vanishOnCall) _exit(0);  // gone before any answer
        const QVariantList args = message.arguments();
        QDBusMessage reply;
        if (message.interface() == kProps && message.member() == QLatin1String("GetAll")) {
            QVariantMap all;
            all[QStringLiteral("PlaybackStatus")] = status;
            all[QStringLiteral("Metadata")] = metadata;
            all[QStringLiteral("Rate")] = 1.0;
            all[QStringLiteral("Position")] = QVariant::fromValue(Position());
            reply = message.createReply(QVariant::fromValue(all));
        } else if (message.interface() == kProps && message.member() == QLatin1String("Get") &&
                   args.size() == 2 && args[1].toString() == QLatin1String("Position")) {
            const QVariant value =
                positionAsText ? QVariant(QStringLiteral("soon")) : QVariant::fromValue(Position());
            reply = message.createReply(QVariant::fromValue(QDBusVariant(value)));
        } else {
            reply =
                message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                                         QStringLiteral("not in this fake"));
        }
        bus.send(reply);
        return true;
    }

    void Announce(const QDBusConnection& bus, const QString& key, const QVariant& value) {
        QDBusMessage signal =
            QDBusMessage::createSignal(kPath, kProps, QStringLiteral("PropertiesChanged"));
        signal << kPlayer << QVariantMap{{key, value}} << QStringList{};
        bus.send(signal);
    }
};

QVariantMap TrackMap(const QStringList& fields) {
    QVariantMap m;
    if (!fields.value(0).isEmpty()) m[QStringLiteral("xesam:url")] = fields.value(0);
    if (!fields.value(1).isEmpty()) m[QStringLiteral("xesam:title")] = fields.value(1);
    if (!fields.value(2).isEmpty())
        m[QStringLiteral("xesam:artist")] = QStringList{fields.value(2)};
    if (!fields.value(3).isEmpty())
        m[QStringLiteral("mpris:length")] = QVariant::fromValue(fields.value(3).toLongLong());
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fake_mpris_player NAME\n");
        return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    FakePlayer player;
    player.since.start();
    if (!bus.registerVirtualObject(kPath, &player) ||
        !bus.registerService(QStringLiteral("org.mpris.MediaPlayer2.") +
                             QString::fromUtf8(argv[1]))) {
        std::fprintf(stderr, "fake_mpris_player: cannot get on the bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    QByteArray pending;
    auto handle = [&](const QString& text) {
        const QString command = text.section(QLatin1Char(' '), 0, 0);
        const QString rest = text.section(QLatin1Char(' '), 1);
        if (command == QLatin1String("play") || command == QLatin1String("pause") ||
            command == QLatin1String("stop")) {
            player.Hold();
            player.status = command == QLatin1String("play")    ? QStringLiteral("Playing")
                            : command == QLatin1String("pause") ? QStringLiteral("Paused")
                                                                : QStringLiteral("Stopped");
            if (command == QLatin1String("stop")) player.positionUs = 0;
            player.Announce(bus, QStringLiteral("PlaybackStatus"), player.status);
        } else if (command == QLatin1String("track")) {
            player.positionUs = 0;
            player.since.restart();
            player.metadata = TrackMap(rest.split(QLatin1Char('|')));
            player.Announce(bus, QStringLiteral("Metadata"), player.metadata);
        } else if (command == QLatin1String("huge-title")) {
            QString title;
            const qsizetype bytes = rest.toLongLong();
            const QString piece = QStringLiteral("Huge/Title\\\n");
            while (title.size() < bytes) title += piece;
            title.truncate(bytes);
            player.metadata = QVariantMap{{QStringLiteral("xesam:title"), title}};
            player.Announce(bus, QStringLiteral("Metadata"), player.metadata);
        } else if (command == QLatin1String("wrong-types")) {
            player.metadata =
                QVariantMap{{QStringLiteral("xesam:url"), 7},
                            {QStringLiteral("xesam:title"), QVariantList{1, 2}},
                            {QStringLiteral("xesam:artist"), QVariantMap{{QStringLiteral("a"), 1}}},
                            {QStringLiteral("xesam:album"), true},
                            {QStringLiteral("mpris:length"), QStringLiteral("long")}};
            player.Announce(bus, QStringLiteral("Metadata"), player.metadata);
        } else if (command == QLatin1String("metadata-not-a-map")) {
            player.metadata = QStringLiteral("garbage");
            player.Announce(bus, QStringLiteral("Metadata"), player.metadata);
        } else if (command == QLatin1String("status-wrong-type")) {
            player.status = 1;
            player.Announce(bus, QStringLiteral("PlaybackStatus"), player.status);
        } else if (command == QLatin1String("position-wrong-type")) {
            player.positionAsText = true;
        } else if (command == QLatin1String("seeked") ||
                   command == QLatin1String("seeked-wrong-type")) {
            QDBusMessage signal =
                QDBusMessage::createSignal(kPath, kPlayer, QStringLiteral("Seeked"));
            if (command == QLatin1String("seeked")) {
                player.positionUs = rest.toLongLong();
                player.since.restart();
                signal << QVariant::fromValue(player.positionUs);
            } else {
                signal << QStringLiteral("elsewhere");
            }
            bus.send(signal);
        } else if (command == QLatin1String("hang")) {
            std::printf("ok\n");
            std::fflush(stdout);
            for (;;) pause();  // on the bus, answering nothing, until killed
        } else if (command == QLatin1String("vanish-on-call")) {
            player.vanishOnCall = true;
        } else if (command == QLatin1String("quit")) {
            app.quit();
        } else {
            std::printf("unknown command\n");
            std::fflush(stdout);
            return;
        }
        std::printf("ok\n");
        std::fflush(stdout);
    };
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[4096];
        const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending.append(buf, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            handle(line);
        }
    });
    return app.exec();
}
