// The Linux window driven like a user drives it: controls found by name, clicked and typed
// into, under the offscreen platform. Each case runs the real CLyricsDlg modally with a
// script that acts from inside its message loop.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "platform/platform.h"
#include "platform/qt/qt_backend.h"
#include "player/player_info.h"
#include "res/resource.h"
#include "ui/lyrics_dlg.h"

namespace {

// What a script's end is told apart by: a dialog the script had to end itself.
constexpr int kEndedByScript = 99;
constexpr int kWaitMs = 5000;     // how long to wait for something the window will do
constexpr int kRescueMs = 60000;  // how long a case may run before it is ended

// The main window, counting what the tests need to know about its handlers.
class WatchedLyricsDlg : public CLyricsDlg {
public:
    void OnCommand(int id, int notifyCode) override {
        if (id == IDC_LYRIC_EDIT && notifyCode == kEnSetFocus) ++focusNotes;
        CLyricsDlg::OnCommand(id, notifyCode);
    }
    void OnTimer(unsigned timerId) override {
        ++ticks;
        CLyricsDlg::OnTimer(timerId);
    }
    int focusNotes = 0;
    int ticks = 0;
};

// No song in the player's block.
void ClearPlayer() {
    platform::SharedBlock block;
    QVERIFY(platform::OpenSharedBlock(kPlayerBlockName, kPlayerBlockSize, &block));
    QVERIFY(block.mappedSize >= kPlayerBlockSize);
    std::memset(static_cast<char*>(block.view) + kPositionOffset, 0,
                kPlayerBlockSize - kPositionOffset);
    platform::CloseSharedBlock(&block);
}

QLineEdit* LyricEdit(QWidget* w) {
    return w->findChild<QLineEdit*>(QStringLiteral("lyricEdit"));
}
QPushButton* OptionsButton(QWidget* w) {
    return w->findChild<QPushButton*>(QStringLiteral("optionsButton"));
}
QTimer* TickTimer(QWidget* w) {
    return w->findChild<QTimer*>(QStringLiteral("timer%1").arg(kTickTimerId));
}

// Runs the main window modally; `script` runs inside its loop once it is up. A script
// stopped by a failed check leaves the window (or a box) open: it is ended here so the case
// never hangs. The window object is gone, and the settings written, when this returns.
int RunWindow(const std::function<void(WatchedLyricsDlg&, QWidget*)>& script) {
    WatchedLyricsDlg dlg;
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && top != QtBackendOf(dlg)->Window()) top->close();
        }
        dlg.EndDialog(kEndedByScript);
    });
    rescue.start(kRescueMs);
    QTimer::singleShot(0, [&] {
        QWidget* w = QtBackendOf(dlg)->Window();
        // Activation comes from the window system a moment after the window shows.
        if (!QTest::qWaitForWindowActive(w)) qWarning("the window did not become active");
        script(dlg, w);
        dlg.EndDialog(kEndedByScript);
    });
    return dlg.DoModal();
}

// Runs `handle` on the next modal window or popup menu other than `current` as soon as
// it shows, and closes it if `handle` (stopped by a failed check) left it open; meant to
// be set up right before the action that opens it. Gives up after a while, or when
// `current` goes.
void WhenOpened(QWidget* current, std::function<void(QWidget*)> handle) {
    auto* poll = new QTimer(current);
    const QDeadlineTimer deadline(kWaitMs);
    QObject::connect(poll, &QTimer::timeout, [=] {
        QWidget* opened = QApplication::activePopupWidget();
        if (opened == nullptr) opened = QApplication::activeModalWidget();
        const bool found = opened != nullptr && opened != current && opened->isVisible();
        if (!found && !deadline.hasExpired()) return;
        poll->stop();
        poll->deleteLater();
        if (!found) return;
        const QPointer<QWidget> guard(opened);
        handle(opened);
        if (guard != nullptr && guard->isVisible()) guard->close();
    });
    poll->start(10);
}

}  // namespace

class LyricsWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> config_;
    std::unique_ptr<QTemporaryDir> lyrics_;

    QString SettingsFile() const { return config_->filePath(QStringLiteral("Strofix.ini")); }
    // The value under the key in the settings file, or a null string when there is none.
    QString StoredDirectory() const {
        QFile file(SettingsFile());
        if (!file.open(QIODevice::ReadOnly)) return QString();
        const QByteArray prefix = STROFIX_SETTINGS_KEY "=";
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith(prefix)) return QString::fromLocal8Bit(line.mid(prefix.size()));
        }
        return QString();
    }
    // What tells the two modes apart.
    static void ExpectMode(QWidget* w, bool directory) {
        QCOMPARE(OptionsButton(w)->isChecked(), directory);
        QCOMPARE(TickTimer(w)->isActive(), !directory);
        QCOMPARE(LyricEdit(w)->isReadOnly(), !directory);
        QCOMPARE(w->windowTitle(), directory ? QStringLiteral(STROFIX_DIR_MODE_TITLE)
                                             : QStringLiteral(STROFIX_APP_TITLE));
    }
    // Clicks Options and checks the window went into directory mode showing `dir`.
    static void EnterDirectoryMode(QWidget* w, const QString& dir) {
        QTest::mouseClick(OptionsButton(w), Qt::LeftButton);
        ExpectMode(w, true);
        QCOMPARE(LyricEdit(w)->text(), dir);
    }
    // The About box's texts, icon and default button, all inside it and nothing cut off.
    static void ExpectAboutContents(QWidget* about) {
        const auto labels = about->findChildren<QLabel*>();
        QVERIFY(labels.size() >= 3);
        for (QLabel* label : labels) {
            QVERIFY2(about->rect().contains(label->geometry()), qPrintable(label->objectName()));
            if (!label->pixmap().isNull()) continue;
            const QRect needed = label->fontMetrics().boundingRect(
                label->rect(), Qt::TextWordWrap | Qt::AlignLeft, label->text());
            QVERIFY2(label->rect().contains(needed), qPrintable(label->text()));
        }
        QCOMPARE(about->findChild<QLabel*>(QStringLiteral("productText"))->text(),
                 QStringLiteral(STROFIX_PRODUCT_TEXT));
        QCOMPARE(about->findChild<QLabel*>(QStringLiteral("noticeText"))->text(),
                 QStringLiteral(STROFIX_NOTICE_TEXT));
        QVERIFY(!about->findChild<QLabel*>(QStringLiteral("aboutIcon"))->pixmap().isNull());
        auto* ok = about->findChild<QPushButton*>(QStringLiteral("okButton"));
        QVERIFY(ok->isDefault() && about->rect().contains(ok->geometry()));
    }

private slots:
    void init() {
        config_ = std::make_unique<QTemporaryDir>();
        lyrics_ = std::make_unique<QTemporaryDir>();
        QVERIFY(config_->isValid() && lyrics_->isValid());
        qputenv("XDG_CONFIG_HOME", config_->path().toLocal8Bit());
        QFile file(SettingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[" STROFIX_SETTINGS_SECTION "]\n" STROFIX_SETTINGS_KEY "=" +
                   lyrics_->path().toLocal8Bit() + "\n");
        ResetTickState();
        ClearPlayer();
    }
    void cleanup() { ClearPlayer(); }

    void startsCentredInDisplayModeWithFocusOnOptions() {
        RunWindow([&](WatchedLyricsDlg& dlg, QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            QPushButton* options = OptionsButton(w);
            QVERIFY(w->isVisible() && w->windowType() == Qt::Window);
            ExpectMode(w, false);
            QCOMPARE(edit->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
            QVERIFY(!options->autoDefault() && !options->isDefault());
            QCOMPARE(TickTimer(w)->interval(), static_cast<int>(kTickPeriodMs));
            QVERIFY(!w->windowIcon().isNull());
            const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
            QVERIFY(qAbs(w->geometry().center().x() - centre.x()) <= 1);
            QVERIFY(qAbs(w->geometry().center().y() - centre.y()) <= 1);
            // Both controls inside the window, side by side, big enough for their text.
            QVERIFY(w->rect().contains(edit->geometry()) &&
                    w->rect().contains(options->geometry()));
            QVERIFY(edit->geometry().right() < options->geometry().left());
            QVERIFY(options->width() >
                    options->fontMetrics().horizontalAdvance(QStringLiteral("Options")));
            QVERIFY(edit->height() >= edit->fontMetrics().height());
            // The first focus went to the field, whose handler passed it on at once; the
            // activation of the shown window does not tell the handler again.
            QCOMPARE(w->focusWidget(), options);
            QTest::qWait(50);
            QCOMPARE(dlg.focusNotes, 1);
        });
    }

    void dialogUnitsConvertLikeWindows() {
        // The classic 8-point dialog font measures 6 x 13 pixels: these are the sizes a
        // Windows dialog of the same template has, rounded to the nearest, halves up.
        const DialogBaseUnits classic{6, 13};
        QCOMPARE(DluToPixelsX(MAIN_DLG_W, classic), 624);
        QCOMPARE(DluToPixelsY(MAIN_DLG_H, classic), 42);    // 42.25
        QCOMPARE(DluToPixelsY(LYRIC_EDIT_H, classic), 20);  // 19.5
        QCOMPARE(DluToPixelsX(OPTIONS_W, classic), 53);     // 52.5
    }

    void optionsSwitchesModesStepByStep() {
        QTemporaryDir other;
        const int result = RunWindow([&](WatchedLyricsDlg& dlg, QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            QPushButton* options = OptionsButton(w);
            // Into directory mode: the stored directory with its first characters
            // selected, in the focused field whose handler is told once.
            const int notes = dlg.focusNotes;
            EnterDirectoryMode(w, lyrics_->path());
            QCOMPARE(edit->selectionStart(), 0);
            QCOMPARE(edit->selectedText(), lyrics_->path().left(kDirectorySelectionEnd));
            QCOMPARE(w->focusWidget(), edit);
            QCOMPARE(dlg.focusNotes, notes + 1);
            QCOMPARE(edit->maxLength(), LYRIC_EDIT_MAX_CHARS);

            // Typing replaces the selection; Options accepts it, the focus stays put
            // and the tick comes again.
            const int ticks = dlg.ticks;
            QTest::keyClicks(edit, other.path());
            QTest::mouseClick(options, Qt::LeftButton);
            ExpectMode(w, false);
            QCOMPARE(QString::fromLocal8Bit(dlg.m_lyricsDir), other.path());
            QCOMPARE(w->focusWidget(), options);
            QTRY_VERIFY_WITH_TIMEOUT(dlg.ticks > ticks, kWaitMs);

            // Alt+O is a click on Options.
            QTest::keyClick(w, Qt::Key_O, Qt::AltModifier);
            QTRY_VERIFY_WITH_TIMEOUT(options->isChecked(), kWaitMs);
            ExpectMode(w, true);
            QCOMPARE(edit->text(), other.path());
            QTest::keyClick(w, Qt::Key_Escape);
        });
        QCOMPARE(result, kIdCancel);
        QCOMPARE(StoredDirectory(), other.path());
    }

    void typedDirectoryIsRefusedOrAccepted_data() {
        QTest::addColumn<QString>("typed");  // NEW stands for a new directory's path
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("stored");  // after the new directory's path
        QTest::newRow("missing") << QStringLiteral("/no/such/strofix/directory") << false << "";
        QTest::newRow("empty") << QString() << false << "";
        QTest::newRow("longer than the setting holds")
            << QStringLiteral("/") + QString(kLyricsDirSize + 20, QLatin1Char('d')) << false << "";
        QTest::newRow("directory") << QStringLiteral("NEW") << true << "";
        QTest::newRow("trailing slash dropped") << QStringLiteral("NEW/") << true << "";
        QTest::newRow("ordinary file") << QStringLiteral("NEW/Song.txt") << true << "/Song.txt";
    }
    void typedDirectoryIsRefusedOrAccepted() {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, stored);
        QTemporaryDir other;
        QFile song(other.filePath(QStringLiteral("Song.txt")));
        QVERIFY(song.open(QIODevice::WriteOnly));
        song.close();
        typed.replace(QStringLiteral("NEW"), other.path());
        RunWindow([&](WatchedLyricsDlg&, QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            EnterDirectoryMode(w, lyrics_->path());
            if (typed.isEmpty()) {
                QTest::keyClick(edit, Qt::Key_Delete);  // removes the selected directory
            } else {
                QTest::keyClicks(edit, typed);
            }
            QCOMPARE(edit->text(), typed);

            bool boxSeen = false;
            WhenOpened(w, [&](QWidget* opened) {
                auto* box = qobject_cast<QMessageBox*>(opened);
                QVERIFY(box != nullptr);
                boxSeen = true;
                QCOMPARE(box->text(), QStringLiteral(STROFIX_INVALID_PATH_TEXT));
                QCOMPARE(box->windowTitle(), QStringLiteral(STROFIX_ERROR_CAPTION));
                QCOMPARE(box->icon(), QMessageBox::NoIcon);
                QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
                QVERIFY(box->parentWidget() == w && box->isModal());
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            });
            QTest::mouseClick(OptionsButton(w), Qt::LeftButton);
            QCOMPARE(boxSeen, !accepted);
            ExpectMode(w, !accepted);
            if (accepted) {
                QCOMPARE(edit->text(), QString());  // empty until the next tick
            } else {
                QCOMPARE(edit->text(), typed);
                QCOMPARE(edit->selectedText(), typed.left(kDirectorySelectionEnd));
                QCOMPARE(w->focusWidget(), edit);
            }
            QTest::keyClick(w, Qt::Key_Escape);
        });
        QCOMPARE(StoredDirectory(), accepted ? other.path() + stored : lyrics_->path());
    }

    void focusNeverStaysOnTheFieldInDisplayMode_data() {
        QTest::addColumn<QString>("how");
        for (const char* how : {"click", "tab", "backtab", "reactivation"}) {
            QTest::newRow(how) << QString::fromLatin1(how);
        }
    }
    void focusNeverStaysOnTheFieldInDisplayMode() {
        QFETCH(QString, how);
        RunWindow([&](WatchedLyricsDlg& dlg, QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            const int notes = dlg.focusNotes;
            if (how == QLatin1String("click")) {
                QTest::mouseClick(edit, Qt::LeftButton);
            } else if (how == QLatin1String("tab")) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            } else if (how == QLatin1String("backtab")) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            } else {
                // The window loses and regains activation with the field focused, as
                // after switching to another program and back.
                edit->setFocus();
                QWidget other;
                other.show();
                QApplication::setActiveWindow(&other);
                QApplication::setActiveWindow(w);
            }
            QCOMPARE(QApplication::focusWidget(), OptionsButton(w));
            QTest::qWait(50);
            QCOMPARE(dlg.focusNotes, notes + 1);  // told once for the one focus change
        });
    }

    void directoryModeKeepsTheFocusInTheField() {
        RunWindow([&](WatchedLyricsDlg& dlg, QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            EnterDirectoryMode(w, lyrics_->path());
            const QString typed = QStringLiteral("/half/typed");
            QTest::keyClicks(edit, typed);
            const int notes = dlg.focusNotes;

            // A context menu leaves the focus where it was: no notification, text kept.
            bool menuSeen = false;
            WhenOpened(w, [&](QWidget* opened) {
                menuSeen = qobject_cast<QMenu*>(opened) != nullptr;
                QTest::keyClick(opened, Qt::Key_Escape);
            });
            QTest::mouseClick(w->windowHandle(), Qt::RightButton, {},
                              edit->mapTo(w, edit->rect().center()));
            QVERIFY(menuSeen);
            QTest::qWait(50);
            QCOMPARE(dlg.focusNotes, notes);
            QCOMPARE(edit->text(), typed);
            QCOMPARE(QApplication::focusWidget(), edit);

            // Away and back: the field keeps the focus and shows the directory again.
            QTest::keyClick(edit, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), OptionsButton(w));
            QTest::keyClick(OptionsButton(w), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), edit);
            QCOMPARE(dlg.focusNotes, notes + 1);
            QCOMPARE(edit->text(), lyrics_->path());

            // SetFocus tells the handler before it returns, and not at all when the field
            // has the focus already.
            OptionsButton(w)->setFocus();
            dlg.m_lyricEdit.SetFocus();
            QCOMPARE(dlg.focusNotes, notes + 2);
            dlg.m_lyricEdit.SetFocus();
            QTest::qWait(50);
            QCOMPARE(dlg.focusNotes, notes + 2);
        });
    }

    void enterEscapeAndCloseEndTheProgram_data() {
        QTest::addColumn<bool>("directoryMode");
        QTest::addColumn<int>("key");  // none: the close box
        QTest::addColumn<int>("result");
        const struct {
            const char* name;
            int key;
            int result;
        } ways[] = {{"Enter", Qt::Key_Return, kIdOk},
                    {"keypad Enter", Qt::Key_Enter, kIdOk},
                    {"Escape", Qt::Key_Escape, kIdCancel},
                    {"close box", 0, kIdCancel}};
        for (bool directoryMode : {false, true}) {
            for (const auto& way : ways) {
                QTest::addRow("%s, %s", directoryMode ? "directory mode" : "display mode", way.name)
                    << directoryMode << way.key << way.result;
            }
        }
    }
    void enterEscapeAndCloseEndTheProgram() {
        QFETCH(bool, directoryMode);
        QFETCH(int, key);
        QFETCH(int, result);
        QTemporaryDir typedDir;
        QVERIFY(QFile::remove(SettingsFile()));  // the first run: no settings file yet
        const QString defaultDir =
            QString::fromLocal8Bit(platform::DefaultLyricsDirectory().c_str());
        const int ended = RunWindow([&](WatchedLyricsDlg&, QWidget* w) {
            if (directoryMode) {
                EnterDirectoryMode(w, defaultDir);
                QTest::keyClicks(LyricEdit(w), typedDir.path());  // typed, never accepted
            }
            if (key == 0) {
                w->close();
            } else {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                                key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            }
            QVERIFY(!w->isVisible());
            QVERIFY(!TickTimer(w)->isActive());
        });
        QCOMPARE(ended, result);
        QCOMPARE(StoredDirectory(), defaultDir);
    }

    void aboutBoxOpensFromTheWindowMenu_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("F1") << QStringLiteral("f1");
        QTest::newRow("right-click on the window") << QStringLiteral("window");
        QTest::newRow("right-click on the button") << QStringLiteral("button");
        QTest::newRow("right-click on the lyric display") << QStringLiteral("field");
    }
    void aboutBoxOpensFromTheWindowMenu() {
        QFETCH(QString, how);
        RunWindow([&](WatchedLyricsDlg& dlg, QWidget* w) {
            bool aboutDone = false;
            auto handleAbout = [&](QWidget* about) {
                QCOMPARE(about->objectName(), QStringLiteral("aboutDialog"));
                QCOMPARE(about->windowTitle(), QStringLiteral(STROFIX_ABOUT_TITLE));
                QVERIFY(about->isModal());
                ExpectAboutContents(about);
                // The main window's tick goes on while the box is open.
                const int ticks = dlg.ticks;
                QTRY_VERIFY_WITH_TIMEOUT(dlg.ticks > ticks + 1, kWaitMs);
                aboutDone = true;
                QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("okButton")),
                                  Qt::LeftButton);
            };
            if (how == QLatin1String("f1")) {
                WhenOpened(w, handleAbout);
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
            } else {
                QWidget* target = w;
                if (how == QLatin1String("button")) target = OptionsButton(w);
                if (how == QLatin1String("field")) target = LyricEdit(w);
                const QPoint at = target == w ? QPoint(2, 2) : target->rect().center();
                bool menuSeen = false;
                WhenOpened(w, [&](QWidget* opened) {
                    auto* menu = qobject_cast<QMenu*>(opened);
                    QVERIFY(menu != nullptr);
                    menuSeen = true;
                    const auto actions = menu->actions();
                    QVERIFY(!actions.isEmpty());
                    QAction* about = actions.last();
                    QVERIFY(about->text().startsWith(QStringLiteral(STROFIX_ABOUT_ITEM_TEXT)));
                    if (how == QLatin1String("field")) {
                        // The field's own items come first, then a separator.
                        QVERIFY(actions.size() > 2 && actions[actions.size() - 2]->isSeparator());
                    }
                    WhenOpened(menu, handleAbout);
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(about).center());
                });
                // Through the window, as the window system delivers a click: that is where
                // a right-click turns into a context-menu request.
                QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, target->mapTo(w, at));
                QVERIFY(menuSeen);
            }
            QVERIFY(aboutDone);
            QVERIFY(w->isVisible());  // the About box ends, the window does not
            QCOMPARE(QApplication::activeModalWidget(), w);
        });
    }

    void followsTheSongFromThePlayer() {
        QFile lyrics(lyrics_->filePath(QStringLiteral("Strofix Test Song.txt")));
        QVERIFY(lyrics.open(QIODevice::WriteOnly));
        lyrics.write("[00:03]Third line\r\n[00:01]First line\n[00:02]Second line\n[00:05]Last");
        lyrics.close();
        const QString song = QStringLiteral("C:\\Music\\Strofix Test Song.mp3");
        RunWindow([&](WatchedLyricsDlg&, QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            // Played in real time, the lines come in order.
            QProcess playing;
            playing.start(QStringLiteral(STROFIX_PLAYER_TOOL),
                          {"play", "--from", "900", "--for", "8", song});
            QVERIFY(playing.waitForStarted(kWaitMs));
            for (const char* line : {"First line", "Second line", "Third line", "Last"}) {
                QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QString::fromLatin1(line), kWaitMs);
            }
            playing.kill();
            playing.waitForFinished(kWaitMs);

            // A song without a lyrics file.
            QProcess tool;
            tool.start(QStringLiteral(STROFIX_PLAYER_TOOL),
                       {"set", "--path", "C:\\Music\\No Lyrics Here.mp3", "--position", "0"});
            QVERIFY(tool.waitForFinished(kWaitMs) && tool.exitCode() == 0);
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral(STROFIX_NO_LYRICS_TEXT),
                                      kWaitMs);
        });
    }

    // Another process of the user truncates the block under the running window, then
    // removes it and a player makes it again: the window keeps ticking, shows what the
    // block still holds, follows the new block, and saves its settings at the end. The
    // window is moved to a block of the test's own, so the player's own is left alone.
    void survivesAShrunkAndReplacedBlock() {
        QFile lyrics(lyrics_->filePath(QStringLiteral("Shrunk.txt")));
        QVERIFY(lyrics.open(QIODevice::WriteOnly));
        lyrics.write("[00:02]Before\n[00:04]After\n");
        lyrics.close();
        const std::string name = "StrofixQtTest-" + std::to_string(getpid()) + "-block";
        const std::string event = name + "-event";
        const auto set = [&](const QString& path, const char* ms) {
            QProcess tool;
            tool.start(QStringLiteral(STROFIX_PLAYER_TOOL),
                       {"--block", QString::fromStdString(name), "set", "--path", path,
                        "--position", QString::fromLatin1(ms)});
            return tool.waitForFinished(kWaitMs) && tool.exitCode() == 0;
        };
        const QString song = QStringLiteral("C:\\Music\\Shrunk.mp3");
        const std::string shmName = "/" + name;
        int ticksAtEnd = 0;
        RunWindow([&](WatchedLyricsDlg& dlg, QWidget* w) {
            QVERIFY(dlg.m_player.OpenBlock(name.c_str(), event.c_str()));
            const int fd = shm_open(shmName.c_str(), O_RDWR, 0);
            QVERIFY(fd >= 0);
            QLineEdit* edit = LyricEdit(w);
            QVERIFY(set(song, "2000"));
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("Before"), kWaitMs);
            for (off_t size : {0, 10, 1000}) {
                QVERIFY(ftruncate(fd, size) == 0);
                QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral(STROFIX_NO_LYRICS_TEXT),
                                          kWaitMs);
                const int ticks = dlg.ticks;
                QTRY_VERIFY_WITH_TIMEOUT(dlg.ticks >= ticks + 2, kWaitMs);
                QVERIFY(ftruncate(fd, static_cast<off_t>(kPlayerBlockSize)) == 0);
                QVERIFY(set(song, "2000"));
                QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("Before"), kWaitMs);
            }
            close(fd);
            QVERIFY(shm_unlink(shmName.c_str()) == 0);
            QVERIFY(set(song, "4000"));  // a new block, made by the player or the window
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("After"), kWaitMs);
            ticksAtEnd = dlg.ticks;
        });
        platform::RemoveSharedBlock(name.c_str());
        platform::RemoveNamedEvent(event.c_str());
        QVERIFY(ticksAtEnd > 0);
        QCOMPARE(StoredDirectory(), lyrics_->path());
    }
};

QTEST_MAIN(LyricsWindowTest)
#include "test_lyrics_window.moc"
