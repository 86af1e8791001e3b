// The Linux window driven like a user drives it: controls found by name, clicked and typed
// into, under the offscreen platform. Each case runs the real CLyricsDlg modally with a
// script that acts from inside its message loop.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cstring>
#include <functional>

#include "app/about_dlg.h"
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

// Writes the player's block as the player does.
void SetPlayer(const char* songPath, std::uint32_t positionMs) {
    platform::SharedBlock block;
    QVERIFY(platform::OpenSharedBlock(kPlayerBlockName, kPlayerBlockSize, &block));
    QVERIFY(block.mappedSize >= kPlayerBlockSize);
    auto* bytes = static_cast<unsigned char*>(block.view);
    std::memcpy(bytes + kPositionOffset, &positionMs, sizeof positionMs);
    std::memset(bytes + kSongPathOffset, 0, kPlayerBlockSize - kSongPathOffset);
    std::strncpy(reinterpret_cast<char*>(bytes + kSongPathOffset), songPath,
                 kPlayerBlockSize - kSongPathOffset - 1);
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

// Runs `dlg` modally; `script` runs inside its loop once it is up. A script that returns
// early (a failed check) leaves the window open: it is ended here so the case never hangs.
int RunWindow(CDialog& dlg, const std::function<void(QWidget*)>& script) {
    // A script stopped by a failed check may leave a box open: close what is left so
    // that the case ends instead of hanging.
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
        script(w);
        dlg.EndDialog(kEndedByScript);
    });
    return dlg.DoModal();
}

// Runs `handle` on the next modal window or popup menu other than `current` as soon as
// it shows; meant to be set up right before the action that opens it.
void WhenOpened(QWidget* current, std::function<void(QWidget*)> handle) {
    auto* poll = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(poll, &QTimer::timeout, [=] {
        QWidget* opened = QApplication::activePopupWidget();
        if (opened == nullptr) opened = QApplication::activeModalWidget();
        if (opened != nullptr && opened != current && opened->isVisible()) {
            poll->stop();
            poll->deleteLater();
            handle(opened);
        } else if (started->elapsed() > kWaitMs) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(10);
}

void TypeInto(QLineEdit* edit, const QString& text) {
    QTest::keyClicks(edit, text);
}

}  // namespace

class LyricsWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> config_;
    std::unique_ptr<QTemporaryDir> lyrics_;

    QString SettingsFile() const { return config_->filePath(QStringLiteral("Strofix.ini")); }
    void StoreDirectory(const QString& dir) {
        QFile file(SettingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[" STROFIX_SETTINGS_SECTION "]\n" STROFIX_SETTINGS_KEY "=" + dir.toLocal8Bit() +
                   "\n");
    }
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
    void WriteLyrics(const QString& name, const QByteArray& text) {
        QFile file(lyrics_->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    // Clicks Options and checks the window went into directory mode showing `dir`.
    static void EnterDirectoryMode(QWidget* w, const QString& dir) {
        QTest::mouseClick(OptionsButton(w), Qt::LeftButton);
        QCOMPARE(w->windowTitle(), QStringLiteral(STROFIX_DIR_MODE_TITLE));
        QCOMPARE(LyricEdit(w)->text(), dir);
    }

private slots:
    void init() {
        config_ = std::make_unique<QTemporaryDir>();
        lyrics_ = std::make_unique<QTemporaryDir>();
        QVERIFY(config_->isValid() && lyrics_->isValid());
        qputenv("XDG_CONFIG_HOME", config_->path().toLocal8Bit());
        StoreDirectory(lyrics_->path());
        ResetTickState();
        SetPlayer("", 0);
    }
    void cleanup() { SetPlayer("", 0); }

    void startsInDisplayModeCentredWithFocusOnOptions() {
        WatchedLyricsDlg dlg;
        RunWindow(dlg, [&](QWidget* w) {
            QVERIFY(w->isVisible());
            QCOMPARE(w->windowTitle(), QStringLiteral(STROFIX_APP_TITLE));
            QVERIFY(w->windowType() == Qt::Window);  // a normal top-level window
            QVERIFY(LyricEdit(w)->isReadOnly());
            QCOMPARE(LyricEdit(w)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
            QCOMPARE(LyricEdit(w)->maxLength(), LYRIC_EDIT_MAX_CHARS);
            QVERIFY(!OptionsButton(w)->isChecked());
            QVERIFY(!OptionsButton(w)->autoDefault() && !OptionsButton(w)->isDefault());
            QVERIFY(TickTimer(w)->isActive());
            QCOMPARE(TickTimer(w)->interval(), static_cast<int>(kTickPeriodMs));
            // The initial focus went to the field, whose handler passed it on at once.
            QCOMPARE(dlg.focusNotes, 1);
            QCOMPARE(w->focusWidget(), OptionsButton(w));
            QVERIFY(!w->windowIcon().isNull());
            const QPoint screenCentre =
                QGuiApplication::primaryScreen()->availableGeometry().center();
            QVERIFY(qAbs(w->geometry().center().x() - screenCentre.x()) <= 1);
            QVERIFY(qAbs(w->geometry().center().y() - screenCentre.y()) <= 1);
            // Activation of the shown window must not tell the owner a second time.
            QTest::qWait(50);
            QCOMPARE(dlg.focusNotes, 1);
        });
    }

    void layoutKeepsControlsInsideAndUnclipped() {
        WatchedLyricsDlg dlg;
        RunWindow(dlg, [&](QWidget* w) {
            const QRect edit = LyricEdit(w)->geometry();
            const QRect options = OptionsButton(w)->geometry();
            QVERIFY(w->rect().contains(edit) && w->rect().contains(options));
            QVERIFY(edit.right() < options.left());
            const QFontMetrics fm(OptionsButton(w)->font());
            QVERIFY(options.width() > fm.horizontalAdvance(QStringLiteral("Options")));
            QVERIFY(edit.height() >= QFontMetrics(LyricEdit(w)->font()).height());
        });
        CAboutDlg about;
        RunWindow(about, [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral(STROFIX_ABOUT_TITLE));
            const auto labels = w->findChildren<QLabel*>();
            QVERIFY(labels.size() >= 3);
            for (QLabel* label : labels) {
                QVERIFY2(w->rect().contains(label->geometry()), qPrintable(label->objectName()));
                if (label->pixmap().isNull()) {
                    // The text fits its rectangle: nothing is cut off.
                    const QRect needed = label->fontMetrics().boundingRect(
                        label->rect(), Qt::TextWordWrap | Qt::AlignLeft, label->text());
                    QVERIFY2(label->rect().contains(needed), qPrintable(label->text()));
                }
            }
            auto* product = w->findChild<QLabel*>(QStringLiteral("productText"));
            auto* notice = w->findChild<QLabel*>(QStringLiteral("noticeText"));
            QCOMPARE(product->text(), QStringLiteral(STROFIX_PRODUCT_TEXT));
            QCOMPARE(notice->text(), QStringLiteral(STROFIX_NOTICE_TEXT));
            QVERIFY(!w->findChild<QLabel*>(QStringLiteral("aboutIcon"))->pixmap().isNull());
            auto* ok = w->findChild<QPushButton*>(QStringLiteral("okButton"));
            QVERIFY(ok->isDefault());
            QVERIFY(w->rect().contains(ok->geometry()));
        });
    }

    void dialogUnitsConvertLikeWindows_data() {
        QTest::addColumn<int>("dlu");
        QTest::addColumn<bool>("across");
        QTest::addColumn<int>("pixels");
        // The classic 8-point dialog font measures 6 x 13 pixels: these are the sizes a
        // Windows dialog of the same template has.
        QTest::newRow("window width") << MAIN_DLG_W << true << 624;
        QTest::newRow("window height") << MAIN_DLG_H << false << 42;
        QTest::newRow("field width") << LYRIC_EDIT_W << true << 525;
        QTest::newRow("field height, rounded down") << LYRIC_EDIT_H << false << 20;
        QTest::newRow("button width, rounded up") << OPTIONS_W << true << 53;
        QTest::newRow("button height, rounded up") << OPTIONS_H << false << 24;
        QTest::newRow("zero") << 0 << true << 0;
    }
    void dialogUnitsConvertLikeWindows() {
        QFETCH(int, dlu);
        QFETCH(bool, across);
        QFETCH(int, pixels);
        const DialogBaseUnits classic{6, 13};
        QCOMPARE(across ? DluToPixelsX(dlu, classic) : DluToPixelsY(dlu, classic), pixels);
    }

    void optionsSwitchesModesStepByStep() {
        QTemporaryDir other;
        auto owned = std::make_unique<WatchedLyricsDlg>();
        WatchedLyricsDlg& dlg = *owned;
        const int result = RunWindow(dlg, [&](QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            QPushButton* options = OptionsButton(w);

            // Display -> directory mode.
            const int notesBefore = dlg.focusNotes;
            QTest::mouseClick(options, Qt::LeftButton);
            QVERIFY(options->isChecked());
            QVERIFY(!TickTimer(w)->isActive());
            QVERIFY(!edit->isReadOnly());
            QCOMPARE(edit->text(), lyrics_->path());
            QCOMPARE(w->windowTitle(), QStringLiteral(STROFIX_DIR_MODE_TITLE));
            QCOMPARE(w->focusWidget(), edit);
            QCOMPARE(edit->selectionStart(), 0);
            QCOMPARE(edit->selectedText(), lyrics_->path().left(kDirectorySelectionEnd));
            QCOMPARE(dlg.focusNotes, notesBefore + 1);
            // No tick arrives while the directory is typed.
            const int ticks = dlg.ticks;
            QTest::qWait(3 * kTickPeriodMs);
            QCOMPARE(dlg.ticks, ticks);

            // Typing replaces the selected directory; Options accepts the new one.
            TypeInto(edit, other.path());
            QCOMPARE(edit->text(), other.path());
            QTest::mouseClick(options, Qt::LeftButton);
            QVERIFY(!options->isChecked());
            QVERIFY(TickTimer(w)->isActive());
            QVERIFY(edit->isReadOnly());
            QCOMPARE(w->windowTitle(), QStringLiteral(STROFIX_APP_TITLE));
            QCOMPARE(QString::fromLocal8Bit(dlg.m_lyricsDir), other.path());
            QCOMPARE(w->focusWidget(), options);  // the focus is not moved
            QTRY_VERIFY_WITH_TIMEOUT(dlg.ticks > ticks, kWaitMs);
            QTest::keyClick(w, Qt::Key_Escape);
        });
        QCOMPARE(result, kIdCancel);
        owned.reset();  // the window object goes: the directory is saved
        QCOMPARE(StoredDirectory(), other.path());
    }

    void mnemonicAltOTogglesLikeAClick() {
        WatchedLyricsDlg dlg;
        RunWindow(dlg, [&](QWidget* w) {
            QTest::keyClick(w, Qt::Key_O, Qt::AltModifier);
            QTRY_VERIFY_WITH_TIMEOUT(OptionsButton(w)->isChecked(), kWaitMs);
            QCOMPARE(w->windowTitle(), QStringLiteral(STROFIX_DIR_MODE_TITLE));
            QVERIFY(!TickTimer(w)->isActive());
            // Leaving with the text unchanged offers the stored directory again.
            QTest::keyClick(w, Qt::Key_O, Qt::AltModifier);
            QTRY_VERIFY_WITH_TIMEOUT(!OptionsButton(w)->isChecked(), kWaitMs);
            QCOMPARE(w->windowTitle(), QStringLiteral(STROFIX_APP_TITLE));
            QVERIFY(TickTimer(w)->isActive());
            QVERIFY(LyricEdit(w)->isReadOnly());
        });
    }

    void refusedDirectoryKeepsDirectoryMode_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("missing") << QStringLiteral("/no/such/strofix/directory");
        QTest::newRow("empty") << QString();
        QTest::newRow("longer than the setting holds")
            << QStringLiteral("/") + QString(kLyricsDirSize + 20, QLatin1Char('d'));
    }
    void refusedDirectoryKeepsDirectoryMode() {
        QFETCH(QString, typed);
        auto owned = std::make_unique<WatchedLyricsDlg>();
        WatchedLyricsDlg& dlg = *owned;
        RunWindow(dlg, [&](QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            EnterDirectoryMode(w, lyrics_->path());
            if (typed.isEmpty()) {
                QTest::keyClick(edit, Qt::Key_Delete);  // removes the selected directory
            } else {
                TypeInto(edit, typed);
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
                QCOMPARE(box->parentWidget(), w);
                QVERIFY(box->isModal());
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            });
            QTest::mouseClick(OptionsButton(w), Qt::LeftButton);
            QVERIFY(boxSeen);

            QVERIFY(OptionsButton(w)->isChecked());
            QCOMPARE(w->windowTitle(), QStringLiteral(STROFIX_DIR_MODE_TITLE));
            QVERIFY(!edit->isReadOnly());
            QVERIFY(!TickTimer(w)->isActive());
            QCOMPARE(edit->text(), typed);
            QCOMPARE(edit->selectedText(), typed.left(kDirectorySelectionEnd));
            QCOMPARE(w->focusWidget(), edit);
            QCOMPARE(QString::fromLocal8Bit(dlg.m_lyricsDir), lyrics_->path());
        });
        owned.reset();  // the window object goes: the directory is saved
        QCOMPARE(StoredDirectory(), lyrics_->path());
    }

    void acceptedDirectoryForms_data() {
        QTest::addColumn<QString>("typedSuffix");
        QTest::addColumn<QString>("storedSuffix");
        QTest::newRow("directory") << QString() << QString();
        QTest::newRow("trailing slash dropped") << QStringLiteral("/") << QString();
        QTest::newRow("ordinary file")
            << QStringLiteral("/Song.txt") << QStringLiteral("/Song.txt");
    }
    void acceptedDirectoryForms() {
        QFETCH(QString, typedSuffix);
        QFETCH(QString, storedSuffix);
        WriteLyrics(QStringLiteral("Song.txt"), "[00:01]One\n");
        QTemporaryDir other;
        QVERIFY(QFile::copy(lyrics_->filePath(QStringLiteral("Song.txt")),
                            other.filePath(QStringLiteral("Song.txt"))));
        auto owned = std::make_unique<WatchedLyricsDlg>();
        WatchedLyricsDlg& dlg = *owned;
        RunWindow(dlg, [&](QWidget* w) {
            EnterDirectoryMode(w, lyrics_->path());
            TypeInto(LyricEdit(w), other.path() + typedSuffix);
            QTest::mouseClick(OptionsButton(w), Qt::LeftButton);
            QVERIFY(!OptionsButton(w)->isChecked());
            QCOMPARE(LyricEdit(w)->text(), QString());  // empty until the next tick
            QTest::keyClick(w, Qt::Key_Escape);
        });
        owned.reset();  // the window object goes: the directory is saved
        QCOMPARE(StoredDirectory(), other.path() + storedSuffix);
    }

    void typingStopsAtTheFieldLimit() {
        WatchedLyricsDlg dlg;
        RunWindow(dlg, [&](QWidget* w) {
            EnterDirectoryMode(w, lyrics_->path());
            TypeInto(LyricEdit(w), QString(LYRIC_EDIT_MAX_CHARS + 30, QLatin1Char('x')));
            QCOMPARE(LyricEdit(w)->text().size(), LYRIC_EDIT_MAX_CHARS);
        });
    }

    void focusNeverStaysOnTheFieldInDisplayMode_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("click") << QStringLiteral("click");
        QTest::newRow("tab") << QStringLiteral("tab");
        QTest::newRow("backtab") << QStringLiteral("backtab");
        QTest::newRow("reactivation") << QStringLiteral("reactivation");
    }
    void focusNeverStaysOnTheFieldInDisplayMode() {
        QFETCH(QString, how);
        WatchedLyricsDlg dlg;
        RunWindow(dlg, [&](QWidget* w) {
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
            QVERIFY(!edit->hasFocus());
            QCOMPARE(dlg.focusNotes, notes + 1);  // told once for the one focus change
            QTest::qWait(50);
            QCOMPARE(dlg.focusNotes, notes + 1);
        });
    }

    void focusBackInDirectoryModeShowsTheShownText() {
        WatchedLyricsDlg dlg;
        RunWindow(dlg, [&](QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            EnterDirectoryMode(w, lyrics_->path());
            TypeInto(edit, QStringLiteral("/typed/but/not/offered"));
            QTest::keyClick(edit, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), OptionsButton(w));
            const int notes = dlg.focusNotes;
            QTest::keyClick(OptionsButton(w), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), edit);  // directory mode keeps it here
            QCOMPARE(dlg.focusNotes, notes + 1);
            QCOMPARE(edit->text(), lyrics_->path());
        });
    }

    void contextMenuOnTheFieldKeepsTypedText() {
        WatchedLyricsDlg dlg;
        RunWindow(dlg, [&](QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            EnterDirectoryMode(w, lyrics_->path());
            const QString typed = QStringLiteral("/half/typed");
            TypeInto(edit, typed);
            const int notes = dlg.focusNotes;
            bool menuSeen = false;
            WhenOpened(w, [&](QWidget* opened) {
                menuSeen = qobject_cast<QMenu*>(opened) != nullptr;
                QTest::keyClick(opened, Qt::Key_Escape);
            });
            QTest::mouseClick(w->windowHandle(), Qt::RightButton, {},
                              edit->mapTo(w, edit->rect().center()));
            QVERIFY(menuSeen);
            QTest::qWait(50);
            // A menu leaves the focus where it was: no notification, nothing pushed.
            QCOMPARE(dlg.focusNotes, notes);
            QCOMPARE(edit->text(), typed);
            QCOMPARE(QApplication::focusWidget(), edit);
        });
    }

    void setFocusNotifiesBeforeReturningAndOnlyOnce() {
        WatchedLyricsDlg dlg;
        RunWindow(dlg, [&](QWidget* w) {
            // Directory mode, so the handler leaves the focus in the field.
            EnterDirectoryMode(w, lyrics_->path());
            QTest::keyClick(LyricEdit(w), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), OptionsButton(w));
            const int notes = dlg.focusNotes;
            dlg.m_lyricEdit.SetFocus();
            QCOMPARE(dlg.focusNotes, notes + 1);
            QTest::qWait(50);
            QCOMPARE(dlg.focusNotes, notes + 1);
            dlg.m_lyricEdit.SetFocus();  // already there: no new notification
            QCOMPARE(dlg.focusNotes, notes + 1);
        });
    }

    void enterEscapeAndCloseEndTheProgram_data() {
        QTest::addColumn<bool>("directoryMode");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        for (bool directoryMode : {false, true}) {
            const char* mode = directoryMode ? "directory mode" : "display mode";
            QTest::addRow("%s, Enter", mode) << directoryMode << QStringLiteral("enter") << kIdOk;
            QTest::addRow("%s, keypad Enter", mode)
                << directoryMode << QStringLiteral("keypad") << kIdOk;
            QTest::addRow("%s, Escape", mode)
                << directoryMode << QStringLiteral("escape") << kIdCancel;
            QTest::addRow("%s, close box", mode)
                << directoryMode << QStringLiteral("close") << kIdCancel;
        }
    }
    void enterEscapeAndCloseEndTheProgram() {
        QFETCH(bool, directoryMode);
        QFETCH(QString, how);
        QFETCH(int, result);
        QTemporaryDir typedDir;
        QVERIFY(QFile::remove(SettingsFile()));  // the first run: no settings file yet
        const QString defaultDir =
            QString::fromLocal8Bit(platform::DefaultLyricsDirectory().c_str());
        auto owned = std::make_unique<WatchedLyricsDlg>();
        WatchedLyricsDlg& dlg = *owned;
        const int ended = RunWindow(dlg, [&](QWidget* w) {
            if (directoryMode) {
                EnterDirectoryMode(w, defaultDir);
                TypeInto(LyricEdit(w), typedDir.path());  // typed, never accepted
            }
            QWidget* target = QApplication::focusWidget();
            if (how == QLatin1String("enter")) {
                QTest::keyClick(target, Qt::Key_Return);
            } else if (how == QLatin1String("keypad")) {
                QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
            } else if (how == QLatin1String("escape")) {
                QTest::keyClick(target, Qt::Key_Escape);
            } else {
                w->close();
            }
            QVERIFY(!w->isVisible());
            QVERIFY(!TickTimer(w)->isActive());
            QVERIFY(!LyricEdit(w)->text().contains(QLatin1Char('\n')));
        });
        QCOMPARE(ended, result);
        owned.reset();  // the window object goes: the directory is saved
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
        WatchedLyricsDlg dlg;
        RunWindow(dlg, [&](QWidget* w) {
            bool aboutSeen = false;
            bool timerRan = false;
            auto handleAbout = [&](QWidget* opened) {
                QCOMPARE(opened->objectName(), QStringLiteral("aboutDialog"));
                aboutSeen = true;
                QCOMPARE(opened->windowTitle(), QStringLiteral(STROFIX_ABOUT_TITLE));
                QVERIFY(opened->isModal());
                // The main window's tick goes on while the box is open.
                const int ticks = dlg.ticks;
                QTRY_VERIFY_WITH_TIMEOUT(dlg.ticks > ticks + 1, kWaitMs);
                timerRan = true;
                QTest::mouseClick(opened->findChild<QPushButton*>(QStringLiteral("okButton")),
                                  Qt::LeftButton);
            };
            if (how == QLatin1String("f1")) {
                WhenOpened(w, handleAbout);
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
            } else {
                QWidget* target = w;
                QPoint at(2, 2);
                if (how == QLatin1String("button")) target = OptionsButton(w);
                if (how == QLatin1String("field")) target = LyricEdit(w);
                if (target != w) at = target->rect().center();
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
                        QVERIFY(actions.size() > 2);
                        QVERIFY(actions[actions.size() - 2]->isSeparator());
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
            QVERIFY(aboutSeen);
            QVERIFY(timerRan);
            QVERIFY(w->isVisible());  // the About box ends, the window does not
            QCOMPARE(QApplication::activeModalWidget(), w);
        });
    }

    void followsTheSongFromThePlayer() {
        WriteLyrics(QStringLiteral("Strofix Test Song.txt"),
                    "[00:03]Third line\r\n[00:01]First line\n[00:02]Second line\n[00:05]Last");
        const QString song = QStringLiteral("C:\\Music\\Strofix Test Song.mp3");
        auto player = [](const QStringList& args) {
            QProcess tool;
            tool.start(QStringLiteral(STROFIX_PLAYER_TOOL), args);
            QVERIFY(tool.waitForFinished(kWaitMs));
            QCOMPARE(tool.exitCode(), 0);
        };
        WatchedLyricsDlg dlg;
        RunWindow(dlg, [&](QWidget* w) {
            QLineEdit* edit = LyricEdit(w);
            // Right after the load, the earliest line shows before its second comes.
            player({"set", "--path", song, "--position", "0"});
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("First line"), kWaitMs);
            player({"set", "--position", "2999"});  // second 2
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("Second line"), kWaitMs);
            player({"set", "--position", "3000"});
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("Third line"), kWaitMs);
            // No line at second 4: the last one stays up; a seek back does not bring an
            // earlier line until its own second.
            player({"set", "--position", "4500"});
            QTest::qWait(3 * kTickPeriodMs);
            QCOMPARE(edit->text(), QStringLiteral("Third line"));
            player({"set", "--position", "5000"});
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("Last"), kWaitMs);

            // Played in real time from second 1, the lines come in order.
            QProcess playing;
            playing.start(QStringLiteral(STROFIX_PLAYER_TOOL),
                          {"play", "--from", "900", "--for", "8", song});
            QVERIFY(playing.waitForStarted(kWaitMs));
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("First line"), kWaitMs);
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("Second line"), kWaitMs);
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("Third line"), kWaitMs);
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("Last"), kWaitMs);
            playing.kill();
            playing.waitForFinished(kWaitMs);

            // A song without a lyrics file.
            player({"set", "--path", "C:\\Music\\No Lyrics Here.mp3", "--position", "0"});
            QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral(STROFIX_NO_LYRICS_TEXT),
                                      kWaitMs);
            player({"stop"});
        });
    }
};

QTEST_MAIN(LyricsWindowTest)
#include "test_lyrics_window.moc"
