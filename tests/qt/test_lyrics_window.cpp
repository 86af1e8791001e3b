// The Linux window driven like a user drives it: controls found by name, clicked and typed
// into, under the offscreen platform. Each case runs the real CLyricsDlg modally with a
// script that acts from inside its message loop.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
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
QPushButton* MessageOk(QWidget* box) {
    return box->findChild<QPushButton*>(QStringLiteral("okButton"));
}
QTimer* TickTimer(QWidget* w) {
    return w->findChild<QTimer*>(QStringLiteral("timer%1").arg(kTickTimerId));
}

// The mean colour of a widget as it is drawn.
QColor MeanColour(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    qint64 sum[3] = {0, 0, 0};
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            sum[0] += c.red();
            sum[1] += c.green();
            sum[2] += c.blue();
        }
    }
    const qint64 n = qMax<qint64>(1, qint64(image.width()) * image.height());
    return QColor(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n));
}
double ColourDistance(const QColor& a, const QColor& b) {
    const double r = a.red() - b.red(), g = a.green() - b.green(), bl = a.blue() - b.blue();
    return std::sqrt(r * r + g * g + bl * bl);
}

// The "Invalid Path" box as a user sees it: its text centred, one OK button without an
// icon, no icon of its own, owned by the window, and wide enough that a window manager's
// title bar shows the whole caption beside the window icon and three buttons, each a
// square of the caption's line with a few pixels around it.
void ExpectInvalidPathBox(QWidget* box, QWidget* owner) {
    QCOMPARE(box->windowTitle(), QStringLiteral(STROFIX_ERROR_CAPTION));
    QVERIFY(box->parentWidget() == owner && box->isModal());
    auto* text = box->findChild<QLabel*>(QStringLiteral("messageText"));
    QVERIFY(text != nullptr);
    QCOMPARE(text->text(), QStringLiteral(STROFIX_INVALID_PATH_TEXT));
    for (QLabel* label : box->findChildren<QLabel*>()) {
        QVERIFY2(label->pixmap().isNull() || !label->isVisible(), "the box shows an icon");
    }
    const auto buttons = box->findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 1);
    QPushButton* ok = MessageOk(box);
    QVERIFY(ok != nullptr && ok->isVisible());
    QCOMPARE(ok->text(), QStringLiteral(STROFIX_OK_TEXT));
    QVERIFY2(ok->icon().isNull(), "the OK button carries an icon");
    QVERIFY(box->rect().contains(ok->geometry()) && box->rect().contains(text->geometry()));

    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    const QFontMetrics title(titleFont);
    const int square = title.height() + 6;
    QVERIFY2(box->width() >= title.horizontalAdvance(box->windowTitle()) + 4 * square,
             qPrintable(QStringLiteral("the box is %1 px wide").arg(box->width())));

    // The text as drawn: its ink as far from the box's left edge as from its right.
    const QImage image = box->grab().toImage();
    const QColor background = box->palette().color(QPalette::Window);
    int left = image.width(), right = -1;
    const QRect area = text->geometry();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (ColourDistance(image.pixelColor(x, y), background) > 100) {
                left = qMin(left, x);
                right = qMax(right, x);
            }
        }
    }
    QVERIFY2(right > left, "no text drawn");
    const int margins = left - (image.width() - 1 - right);
    QVERIFY2(
        qAbs(margins) <= 2,
        qPrintable(QStringLiteral("text %1..%2 of %3 px").arg(left).arg(right).arg(image.width())));
    // The button centred below the text, as on Windows.
    QVERIFY(ok->geometry().top() > text->geometry().bottom());
    QVERIFY(qAbs(ok->geometry().center().x() - box->rect().center().x()) <= 1);
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

    // Starts the real program with `env`, its settings in the test's config directory and
    // `home` as its home, in a mount namespace of its own with a private /dev/shm, and
    // waits until its window has opened its block there (which comes after the program has
    // routed its signals). Returns what went wrong, or an empty string; `skip` tells that
    // the system allows no such namespace.
    QString StartProgram(QProcess& program, QProcessEnvironment env, const QString& home,
                         bool* skip) const {
        *skip = false;
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        if (unshare.isEmpty()) {
            *skip = true;
            return QStringLiteral("needs unshare (util-linux) for a private /dev/shm");
        }
        QStringList args;
        if (geteuid() != 0) args << QStringLiteral("--map-root-user");
        args << QStringLiteral("--mount") << QStringLiteral("sh") << QStringLiteral("-c")
             << QStringLiteral("mount -t tmpfs -o mode=1777 strofix-test /dev/shm && exec \"$0\"")
             << QStringLiteral(STROFIX_PROGRAM);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_->path());
        env.insert(QStringLiteral("HOME"), home);
        program.setProcessEnvironment(env);
        program.start(unshare, args);
        if (!program.waitForStarted(kWaitMs)) return QStringLiteral("unshare did not start");
        const qint64 pid = program.processId();
        struct stat ours = {};
        if (::stat("/dev/shm", &ours) != 0) return QStringLiteral("no /dev/shm");
        const QByteArray shm = QByteArray("/proc/") + QByteArray::number(pid) + "/root/dev/shm";
        auto up = [&] {
            struct stat theirs = {}, block = {};
            const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
            return QFileInfo(exe).fileName() == QLatin1String("strofix") &&
                   ::stat(shm.constData(), &theirs) == 0 && theirs.st_dev != ours.st_dev &&
                   ::stat(shm + "/" + kPlayerBlockName, &block) == 0;
        };
        QDeadlineTimer deadline(kWaitMs);
        while (!up() && program.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            QTest::qWait(20);
        }
        if (program.state() == QProcess::NotRunning) {
            const QString err = QString::fromLocal8Bit(program.readAllStandardError());
            *skip = err.startsWith(QLatin1String("unshare:")) || err.contains("mount:");
            return (*skip ? QStringLiteral("no private /dev/shm here: ")
                          : QStringLiteral("the program ended by itself: ")) +
                   err;
        }
        return up() ? QString() : QStringLiteral("the program's window did not come up");
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
            WhenOpened(w, [&](QWidget* box) {
                QCOMPARE(box->objectName(), QStringLiteral("messageBox"));
                boxSeen = true;
                ExpectInvalidPathBox(box, w);
                QTest::mouseClick(MessageOk(box), Qt::LeftButton);
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

    void pressedOptionsButtonIsPlainlyVisible() {
        QTemporaryDir other;
        RunWindow([&](WatchedLyricsDlg&, QWidget* w) {
            QPushButton* options = OptionsButton(w);
            const QColor released = MeanColour(options);
            EnterDirectoryMode(w, lyrics_->path());
            const QColor pressed = MeanColour(options);
            // A fifth of the way from black to white at least, as plain as the pressed
            // button on Windows.
            QVERIFY2(ColourDistance(released, pressed) >= 90,
                     qPrintable(QStringLiteral("released %1, pressed %2")
                                    .arg(released.name(), pressed.name())));
            // Refused, the button shows pressed again; accepted, as it was at the start.
            WhenOpened(w, [&](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
            QTest::keyClicks(LyricEdit(w), QStringLiteral("/no/such/strofix/directory"));
            QTest::mouseClick(options, Qt::LeftButton);
            ExpectMode(w, true);
            QVERIFY(ColourDistance(MeanColour(options), pressed) < 10);
            QTest::keyClick(LyricEdit(w), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(LyricEdit(w), other.path());
            QTest::mouseClick(options, Qt::LeftButton);
            ExpectMode(w, false);
            QVERIFY(ColourDistance(MeanColour(options), released) < 10);
        });
    }

    // SIGTERM, SIGHUP, SIGINT and the session manager's quit end the window as Cancel does,
    // whatever is open: menus and boxes close first, the typed directory is not taken, the
    // settings file is written.
    void signalsAndQuitEndTheWindowAsCancelDoes_data() {
        QTest::addColumn<int>("signal");  // 0: the application's Quit event
        QTest::addColumn<QString>("open");
        const struct {
            const char* name;
            int signal;
        } senders[] = {{"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGINT", SIGINT}, {"quit", 0}};
        for (const auto& sender : senders) {
            for (const char* open : {"display mode", "directory mode", "About box",
                                     "Invalid Path box", "window menu"}) {
                QTest::addRow("%s, %s", sender.name, open) << sender.signal << QString(open);
            }
        }
    }
    void signalsAndQuitEndTheWindowAsCancelDoes() {
        QFETCH(int, signal);
        QFETCH(QString, open);
        QVERIFY(InstallQuitRouting());
        QVERIFY(QFile::remove(SettingsFile()));  // so the write at the end shows
        const QString defaultDir =
            QString::fromLocal8Bit(platform::DefaultLyricsDirectory().c_str());
        auto ask = [signal] {
            if (signal != 0) {
                QCOMPARE(::raise(signal), 0);
            } else {
                // The session manager's "die" as the window system delivers it: Qt's
                // platform layer sends the application a Quit event.
                QEvent quit(QEvent::Quit);
                QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
            }
        };
        bool innerSeen = false;
        const int ended = RunWindow([&](WatchedLyricsDlg&, QWidget* w) {
            auto askInside = [&](QWidget*) {
                innerSeen = true;
                ask();
            };
            if (open == QLatin1String("display mode")) {
                innerSeen = true;
                ask();
            } else if (open == QLatin1String("About box")) {
                WhenOpened(w, askInside);
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
            } else if (open == QLatin1String("window menu")) {
                WhenOpened(w, askInside);
                QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, QPoint(2, 2));
            } else {
                EnterDirectoryMode(w, defaultDir);
                if (open == QLatin1String("directory mode")) {
                    QTest::keyClicks(LyricEdit(w), lyrics_->path());  // typed, never taken
                    innerSeen = true;
                    ask();
                } else {
                    QTest::keyClicks(LyricEdit(w), QStringLiteral("/no/such/strofix/dir"));
                    WhenOpened(w, askInside);
                    QTest::mouseClick(OptionsButton(w), Qt::LeftButton);
                }
            }
            QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), kWaitMs);
            QCOMPARE(QApplication::activePopupWidget(), nullptr);
        });
        QVERIFY(innerSeen);
        QCOMPARE(ended, kIdCancel);
        QCOMPARE(QuitSignal(), signal);
        QCOMPARE(StoredDirectory(), defaultDir);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            QVERIFY2(!top->isVisible(), qPrintable(top->objectName()));
        }
    }

    // The real program, killed as a logout or Ctrl+C kills it: it saves its settings and
    // then dies of the signal, so the sender learns how it ended. It runs in a mount
    // namespace of its own with a private /dev/shm, so its block is never the user's.
    void programSavesAndDiesOfTheSignal_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void programSavesAndDiesOfTheSignal() {
        QFETCH(int, signal);
        QTemporaryDir home;
        QVERIFY(QFile::remove(SettingsFile()));  // so the write at the end shows
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("SESSION_MANAGER"));
        QProcess program;
        bool skip = false;
        const QString trouble = StartProgram(program, env, home.path(), &skip);
        if (skip) QSKIP(qPrintable(trouble));
        QVERIFY2(trouble.isEmpty(), qPrintable(trouble));
        QTest::qWait(300);  // into its loop, a tick or so
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), signal), 0);
        QVERIFY(program.waitForFinished(kWaitMs));
        QCOMPARE(program.exitStatus(), QProcess::CrashExit);
        QCOMPARE(program.exitCode(), signal);
        QCOMPARE(StoredDirectory(), home.filePath(QStringLiteral("Lyrics")));
    }

    // The real program on an X display, logged out by a session manager speaking the X
    // Session Management Protocol, as a desktop's logout does: SaveYourself with shutdown,
    // then Die. It ends as on Cancel, writes its settings and exits with 0.
    void sessionManagerLogoutSavesAndEnds_data() {
        QTest::addColumn<bool>("about");
        QTest::newRow("display mode") << false;
        QTest::newRow("About box open") << true;
    }
    void sessionManagerLogoutSavesAndEnds() {
#ifndef STROFIX_SESSION_MANAGER
        QSKIP("built without libSM (libsm-dev, libice-dev)");
#else
        QFETCH(bool, about);
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        if (xvfb.isEmpty() || xdotool.isEmpty()) QSKIP("needs Xvfb and xdotool");
        QProcess display;
        display.start(xvfb, {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
        QTRY_VERIFY_WITH_TIMEOUT(display.canReadLine(), kWaitMs);
        const QString displayName = ":" + QString::fromLatin1(display.readLine().trimmed());
        QProcess manager;
        manager.start(QStringLiteral(STROFIX_SESSION_MANAGER), QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(manager.canReadLine(), kWaitMs);
        const QString address = QString::fromLatin1(manager.readLine().trimmed());
        QByteArray said;  // the manager's later lines
        auto managerSaid = [&](const char* line) {
            said += manager.readAllStandardOutput();
            return said.split('\n').contains(line);
        };

        QTemporaryDir home;
        QVERIFY(QFile::remove(SettingsFile()));  // so the write at the end shows
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), displayName);
        env.insert(QStringLiteral("SESSION_MANAGER"), address);
        QProcess program;
        bool skip = false;
        const QString trouble = StartProgram(program, env, home.path(), &skip);
        if (skip) QSKIP(qPrintable(trouble));
        QVERIFY2(trouble.isEmpty(), qPrintable(trouble));
        QTRY_VERIFY_WITH_TIMEOUT(managerSaid("ready"), kWaitMs);

        if (about) {
            QProcessEnvironment x = QProcessEnvironment::systemEnvironment();
            x.insert(QStringLiteral("DISPLAY"), displayName);
            QProcess press;
            press.setProcessEnvironment(x);
            press.start(xdotool, {"search", "--sync", "--name", "^Strofix$", "windowfocus",
                                  "--sync", "key", "F1"});
            QVERIFY(press.waitForFinished(kWaitMs) && press.exitCode() == 0);
            QProcess find;
            find.setProcessEnvironment(x);
            find.start(xdotool, {"search", "--sync", "--onlyvisible", "--name", "^About Strofix$"});
            QVERIFY(find.waitForFinished(kWaitMs) && find.exitCode() == 0);
        }

        manager.write("logout\n");
        QVERIFY(manager.waitForBytesWritten(kWaitMs));
        QVERIFY(program.waitForFinished(kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(managerSaid("closed"), kWaitMs);
        QVERIFY(managerSaid("saved"));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(StoredDirectory(), home.filePath(QStringLiteral("Lyrics")));
        QTRY_COMPARE_WITH_TIMEOUT(manager.state(), QProcess::NotRunning, kWaitMs);
        QCOMPARE(manager.exitCode(), 0);
        display.terminate();
        display.waitForFinished(kWaitMs);
#endif
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
