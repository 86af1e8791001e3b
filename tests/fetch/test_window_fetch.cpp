// End to end: mpv plays a song that has no lyrics file, the bridge with --fetch asks the
// tests' own LRCLIB (slow on purpose) while it goes on writing the block, the lyrics file
// appears, and the real Strofix window (offscreen) shows the line of the second being
// played. The window uses the player's own block name, so this runs in a /dev/shm of its
// own (private-session.sh --private-shm) on a private session bus.
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/qt/qt_backend.h"
#include "player/player_info.h"
#include "res/resource.h"
#include "tests/fetch/local_server.h"
#include "tests/fetch/tagged_wav.h"
#include "tests/mpris/session_support.h"
#include "ui/lyrics_dlg.h"

using namespace mpris_test;

namespace {

constexpr int kSongSeconds = 40;
constexpr double kServerDelay = 3.0;  // seconds the server takes to answer

std::string MprisPlugin() {
    for (const char* p : {"/usr/lib/mpv-mpris/mpris.so", "/etc/mpv/scripts/mpris.so",
                          "/usr/lib/x86_64-linux-gnu/mpv/scripts/mpris.so"}) {
        if (QFile::exists(QString::fromLatin1(p))) return p;
    }
    return {};
}

// The second N in a shown "Line N of <title>", or -1. The server's lines come every 4 s.
int ShownLine(const QString& text, const QString& title) {
    const QString suffix = QStringLiteral(" of ") + title;
    if (!text.startsWith(QStringLiteral("Line ")) || !text.endsWith(suffix)) return -1;
    bool ok = false;
    const int n = text.mid(5, text.size() - 5 - suffix.size()).toInt(&ok);
    return ok ? n : -1;
}

}  // namespace

class WindowFetch : public QObject {
    Q_OBJECT

private slots:
    void fetchedLyricsShowWhileTheSongPlays() {
        if (qgetenv("STROFIX_PRIVATE_SHM") != "1")
            QFAIL("run through private-session.sh --private-shm: the window uses the real block");
        QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"), "no private session bus");
        const std::string plugin = MprisPlugin();
        QVERIFY2(!plugin.empty(), "the mpv-mpris package is not installed");

        TempDir dir("strofix-fetch-window");
        const std::string music = dir.Path() + "/Música";
        const std::string lyrics = dir.Path() + "/Lyrics";
        const std::string config = dir.Path() + "/config";
        for (const std::string& d : {music, lyrics, config})
            QVERIFY(QDir().mkpath(QString::fromStdString(d)));
        QVERIFY(fetchtest::WriteTaggedWav(music + "/Fetch Tëst.wav", kSongSeconds, "Ärtist & Co",
                                          "Sóng #1", "Album?"));
        {
            std::ofstream ini(config + "/Strofix.ini", std::ios::binary);
            ini << "[" STROFIX_SETTINGS_SECTION "]\n" STROFIX_SETTINGS_KEY "=" << lyrics << "\n";
        }
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
        ResetTickState();

        fetchtest::LocalServer server("synced", dir.Path(),
                                      {"--delay", std::to_string(kServerDelay)});
        QVERIFY(server.Up());

        CLyricsDlg dlg;
        QTimer rescue;  // a failed check leaves the window open: end it so the case never hangs
        rescue.setSingleShot(true);
        QObject::connect(&rescue, &QTimer::timeout, [&] { dlg.EndDialog(kIdCancel); });
        rescue.start(90000);
        QTimer::singleShot(0, [&] {
            RunScript(dlg, dir.Path(), music, lyrics, plugin, server);
            dlg.EndDialog(kIdOk);
        });
        dlg.DoModal();
    }

private:
    void RunScript(CLyricsDlg& dlg, const std::string& tmp, const std::string& music,
                   const std::string& lyrics, const std::string& plugin,
                   const fetchtest::LocalServer& server) {
        auto* edit = QtBackendOf(dlg)->Window()->findChild<QLineEdit*>(QStringLiteral("lyricEdit"));
        QVERIFY(edit != nullptr);
        Child::Options bridgeOut;
        bridgeOut.logFile = tmp + "/bridge.log";
        bridgeOut.env = {{"XDG_CONFIG_HOME", tmp + "/config"}, {"XDG_CACHE_HOME", tmp + "/cache"}};
        Child bridge(STROFIX_MPRIS_EXE, {"--verbose", "--fetch", "--lrclib-url", server.BaseUrl()},
                     bridgeOut);
        const std::string socket = tmp + "/mpv.sock";
        Child::Options mpvOut;
        mpvOut.logFile = tmp + "/mpv.log";
        Child mpv(
            "mpv",
            {"--no-config", "--script=" + plugin, "--ao=null", "--vo=null", "--idle=no",
             "--input-ipc-server=" + socket, "--msg-level=all=warn", music + "/Fetch Tëst.wav"},
            mpvOut);
        MpvIpc ipc;
        QVERIFY(ipc.Connect(socket, 5000));
        const auto log = [&] { return QString::fromStdString(ReadFile(bridgeOut.logFile)); };

        // The song plays and has no lyrics file: the window says so while the server thinks.
        QTRY_VERIFY2_WITH_TIMEOUT(log().contains(QStringLiteral("fetch: no lyrics file for")),
                                  qPrintable(log()), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral(STROFIX_NO_LYRICS_TEXT), 1500);
        const std::string file = lyrics + "/Fetch Tëst.txt";
        QVERIFY(!QFile::exists(QString::fromStdString(file)));

        // Meanwhile the block keeps up with the song: its position follows mpv's.
        CPlayerInfo block;
        QVERIFY(block.OpenBlock(kPlayerBlockName, kPlayerEventName));
        for (int i = 0; i < 10; ++i) {
            QTest::qWait(100);
            const std::optional<double> pos = ipc.TimePos();
            QVERIFY(pos.has_value());
            std::uint32_t ms = 0;
            QVERIFY(block.GetPosition(&ms));
            QVERIFY2(std::abs(static_cast<double>(ms) - *pos * 1000) < 250,
                     qPrintable(QStringLiteral("block %1 ms, mpv %2 s").arg(ms).arg(*pos)));
        }

        // The answer comes: the file appears and the window shows the line being sung.
        QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(QString::fromStdString(file)), qPrintable(log()),
                                  8000);
        const QString title = QStringLiteral("Sóng #1");
        QTRY_VERIFY2_WITH_TIMEOUT(ShownLine(edit->text(), title) >= 0,
                                  qPrintable(edit->text() + "\n" + log()), 2000);
        for (int i = 0; i < 10; ++i) {
            QTest::qWait(200);
            const std::optional<double> pos = ipc.TimePos();
            QVERIFY(pos.has_value());
            const int second = static_cast<int>(std::floor(*pos));
            const int shown = ShownLine(edit->text(), title);
            // The line that is up at this second (or at the one before: the window looks
            // every 300 ms).
            QVERIFY2(
                shown == second / 4 * 4 || shown == (second - 1) / 4 * 4,
                qPrintable(
                    QStringLiteral("at %1 s the window shows \"%2\"").arg(*pos).arg(edit->text())));
        }
        QVERIFY(log().contains(QStringLiteral("fetch: wrote ")));

        // LRCLIB was asked once, for this track, with what MPRIS said of it.
        const auto requests = server.Requests();
        QCOMPARE(requests.size(), std::size_t{1});
        QCOMPARE(requests[0].params.value(QStringLiteral("artist_name")).toString(),
                 QStringLiteral("Ärtist & Co"));
        QCOMPARE(requests[0].params.value(QStringLiteral("track_name")).toString(), title);
        QCOMPARE(requests[0].params.value(QStringLiteral("album_name")).toString(),
                 QStringLiteral("Album?"));
        QCOMPARE(requests[0].params.value(QStringLiteral("duration")).toString(),
                 QString::number(kSongSeconds));

        QVERIFY(ipc.Command("[\"quit\"]"));
        QCOMPARE(bridge.Stop(SIGTERM, 2000), 0);
    }
};

QTEST_MAIN(WindowFetch)
#include "test_window_fetch.moc"
