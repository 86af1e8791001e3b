// End to end: mpv plays, the bridge writes the block, and the real Strofix window (offscreen,
// run as tests/qt runs it) shows the line of the second being played. The window uses the
// player's own block name, so this runs in a /dev/shm of its own (private-session.sh
// --private-shm), with its own settings and lyrics directory.
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <signal.h>

#include "platform/qt/qt_backend.h"
#include "res/resource.h"
#include "tests/mpris/session_support.h"
#include "ui/lyrics_dlg.h"

using namespace mpris_test;

namespace {

constexpr int kSongSeconds = 30;

// "[mm:ss]<prefix> N" for every second of the song.
void WriteLyrics(const std::string& path, const std::string& prefix) {
    std::ofstream out(path, std::ios::binary);
    for (int s = 0; s < kSongSeconds; ++s) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "[%02d:%02d]", s / 60, s % 60);
        out << tag << prefix << ' ' << s << '\n';
    }
}

// The second in a shown line "<prefix> N", or -1.
int ShownSecond(const QString& text, const QString& prefix) {
    if (!text.startsWith(prefix + QLatin1Char(' '))) return -1;
    bool ok = false;
    const int s = text.mid(prefix.size() + 1).toInt(&ok);
    return ok ? s : -1;
}

std::string MprisPlugin() {
    for (const char* p : {"/usr/lib/mpv-mpris/mpris.so", "/etc/mpv/scripts/mpris.so",
                          "/usr/lib/x86_64-linux-gnu/mpv/scripts/mpris.so"}) {
        if (QFile::exists(QString::fromLatin1(p))) return p;
    }
    return {};
}

}  // namespace

class WindowFollowsMpv : public QObject {
    Q_OBJECT

private slots:
    void showsTheLineOfTheSecondBeingPlayed() {
        if (qgetenv("STROFIX_PRIVATE_SHM") != "1")
            QFAIL("run through private-session.sh --private-shm: the window uses the real block");
        QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"), "no private session bus");
        const std::string plugin = MprisPlugin();
        QVERIFY2(!plugin.empty(), "the mpv-mpris package is not installed");

        TempDir dir("strofix-mpris-window");
        const std::string music = dir.Path() + "/Música dir";
        const std::string lyrics = dir.Path() + "/Lyrics dïr";
        const std::string config = dir.Path() + "/config";
        for (const std::string& d : {music, lyrics, config})
            QVERIFY(QDir().mkpath(QString::fromStdString(d)));
        QVERIFY(WriteSilentWav(music + "/Café Tëst.wav", kSongSeconds));
        QVERIFY(WriteSilentWav(music + "/Second Sóng.wav", kSongSeconds));
        WriteLyrics(lyrics + "/Café Tëst.txt", "Line");
        WriteLyrics(lyrics + "/Second Sóng.txt", "Second");
        {
            std::ofstream ini(config + "/Strofix.ini", std::ios::binary);
            ini << "[" STROFIX_SETTINGS_SECTION "]\n" STROFIX_SETTINGS_KEY "=" << lyrics << "\n";
        }
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
        ResetTickState();

        CLyricsDlg dlg;
        QTimer rescue;  // a failed check leaves the window open: end it so the case never hangs
        rescue.setSingleShot(true);
        QObject::connect(&rescue, &QTimer::timeout, [&] { dlg.EndDialog(kIdCancel); });
        rescue.start(90000);
        QTimer::singleShot(0, [&] {
            RunScript(dlg, dir.Path(), music, plugin);
            dlg.EndDialog(kIdOk);
        });
        dlg.DoModal();
    }

private:
    void RunScript(CLyricsDlg& dlg, const std::string& tmp, const std::string& music,
                   const std::string& plugin) {
        auto* edit = QtBackendOf(dlg)->Window()->findChild<QLineEdit*>(QStringLiteral("lyricEdit"));
        QVERIFY(edit != nullptr);
        Child::Options bridgeOut;
        bridgeOut.logFile = tmp + "/bridge.log";
        Child bridge(STROFIX_MPRIS_EXE, {"--verbose"}, bridgeOut);  // the player's own block
        const std::string socket = tmp + "/mpv.sock";
        Child::Options mpvOut;
        mpvOut.logFile = tmp + "/mpv.log";
        Child mpv("mpv",
                  {"--no-config", "--script=" + plugin, "--ao=null", "--vo=null", "--idle=no",
                   "--input-ipc-server=" + socket, "--msg-level=all=warn", music + "/Café Tëst.wav",
                   music + "/Second Sóng.wav"},
                  mpvOut);
        MpvIpc ipc;
        QVERIFY(ipc.Connect(socket, 5000));
        const QString line = QStringLiteral("Line");
        QTRY_VERIFY2_WITH_TIMEOUT(
            ShownSecond(edit->text(), line) >= 0,
            qPrintable(edit->text() + "\n" + QString::fromStdString(ReadFile(bridgeOut.logFile))),
            5000);

        // For three seconds the line shown is that of mpv's current second (or, right after a
        // second begins, the one before: the window looks every 300 ms).
        std::set<int> seen;
        for (int i = 0; i < 30; ++i) {
            QTest::qWait(100);
            const std::optional<double> pos = ipc.TimePos();
            QVERIFY(pos.has_value());
            const int playing = static_cast<int>(std::floor(*pos));
            const int shown = ShownSecond(edit->text(), line);
            QVERIFY2(
                shown == playing || shown == playing - 1,
                qPrintable(
                    QStringLiteral("at %1 s the window shows \"%2\"").arg(*pos).arg(edit->text())));
            seen.insert(shown);
        }
        QVERIFY(seen.size() >= 3);

        // A seek: the line of the new second.
        QVERIFY(ipc.Command("[\"seek\", 20, \"absolute\"]"));
        QTRY_VERIFY_WITH_TIMEOUT(ShownSecond(edit->text(), line) >= 20, 1500);
        QVERIFY(ShownSecond(edit->text(), line) <= 22);

        // The next song: its own lyrics.
        QVERIFY(ipc.Command("[\"playlist-next\"]"));
        QTRY_VERIFY_WITH_TIMEOUT(ShownSecond(edit->text(), QStringLiteral("Second")) >= 0, 2000);
        QVERIFY(ShownSecond(edit->text(), QStringLiteral("Second")) <= 2);

        // mpv quits: no song, so no lyrics.
        QVERIFY(ipc.Command("[\"quit\"]"));
        QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral(STROFIX_NO_LYRICS_TEXT), 2000);
        QCOMPARE(bridge.Stop(SIGTERM, 2000), 0);
    }
};

QTEST_MAIN(WindowFollowsMpv)
#include "test_window_mpv.moc"
