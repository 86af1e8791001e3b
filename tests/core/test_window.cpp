// The main window's behaviour with the recording backend: initialisation, the two modes
// and the steps between them, the focus rule, the system menu, painting, and the
// settings written when the window goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/fake_backend.h"
#include "platform/platform.h"
#include "tests/core/support.h"
#include "ui/lyrics_dlg.h"

using strofix_test::TempDir;
using strofix_test::TestBlock;

namespace {

using Calls = std::vector<std::string>;
const std::string kDirTitle = STROFIX_DIR_MODE_TITLE;

std::string SavedDirectory() {
    char saved[kLyricsDirSize] = {};
    platform::GetProfileString(STROFIX_SETTINGS_SECTION, STROFIX_SETTINGS_KEY, "(none)", saved,
                               sizeof saved, platform::SettingsFilePath().c_str());
    return saved;
}

void SetDir(CLyricsDlg& dlg, const std::string& dir) {
    std::snprintf(dlg.m_lyricsDir, sizeof dlg.m_lyricsDir, "%s", dir.c_str());
}

// A directory inside `base` whose path is exactly 99 characters long.
std::filesystem::path Path99(const TempDir& base) {
    const std::size_t room = kLyricsDirSize - 1 - base.Str().size() - 1;
    const std::filesystem::path p = base.Path() / std::string(room, 'x');
    std::filesystem::create_directories(p);
    EXPECT_EQ(p.string().size(), kLyricsDirSize - 1);
    return p;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTickState();
        std::error_code ec;
        std::filesystem::remove(platform::SettingsFilePath(), ec);
    }
    void TearDown() override { FakeDialogBackend::ModalScript() = nullptr; }

    // Runs a main window modally; `body` runs inside its modal loop after initialisation.
    // Returns DoModal's result; the window is gone when this returns.
    int RunWindow(const std::function<void(CLyricsDlg&, FakeDialogBackend&)>& body) {
        CLyricsDlg dlg;
        FakeDialogBackend::ModalScript() = [&](FakeDialogBackend& b) {
            if (b.templateId_ == IDD_MAIN_DIALOG) body(dlg, b);
        };
        const int result = dlg.DoModal();
        FakeDialogBackend::ModalScript() = nullptr;
        return result;
    }

    // From display mode into directory mode by clicking Options.
    static void EnterDirectoryMode(FakeDialogBackend& b) {
        b.Click(IDC_OPTIONS);
        ASSERT_EQ(b.title, kDirTitle);
    }

    TempDir dir;
    const std::string sep = std::string(1, platform::PathSeparator());
};

TEST_F(WindowTest, StartsInDisplayModeWithTheFocusOnOptions) {
    const int result = RunWindow([&](CLyricsDlg& dlg, FakeDialogBackend& b) {
        ASSERT_EQ(b.systemMenu.size(), 1U);
        EXPECT_EQ(b.systemMenu[0].first, static_cast<unsigned>(IDM_ABOUTBOX));
        EXPECT_EQ(b.systemMenu[0].second, STROFIX_ABOUT_ITEM_TEXT);
        const auto big = std::find(b.calls.begin(), b.calls.end(), "SetIcon(1,0)");
        const auto small = std::find(b.calls.begin(), b.calls.end(), "SetIcon(0,0)");
        EXPECT_TRUE(big < small && small != b.calls.end()) << "large icon, then small";
        EXPECT_EQ(b.timers, (std::map<unsigned, unsigned>{{kTickTimerId, kTickPeriodMs}}));
        // The framework focuses the lyric display, whose handler passes the focus on.
        const auto edit = std::find(b.calls.begin(), b.calls.end(), "SetFocus(1001,0)");
        EXPECT_NE(edit, b.calls.end());
        EXPECT_NE(std::find(edit, b.calls.end(), "SetFocus(1003,0)"), b.calls.end());
        EXPECT_EQ(b.focus, IDC_OPTIONS);
        EXPECT_TRUE(b.controls[IDC_LYRIC_EDIT].readOnly);
        EXPECT_EQ(b.controls[IDC_LYRIC_EDIT].limit, LYRIC_EDIT_MAX_CHARS);
        EXPECT_FALSE(b.controls[IDC_OPTIONS].checked);
        EXPECT_EQ(dlg.m_directoryMode, 0);
        EXPECT_EQ(std::string(dlg.m_lyricsDir),
                  platform::DefaultLyricsDirectory().substr(0, kLyricsDirSize - 1));
        EXPECT_NE(dlg.OnQueryDragIcon(), nullptr);
    });
    EXPECT_EQ(result, kIdCancel);
    // First start: the file is created at exit with the default.
    EXPECT_EQ(SavedDirectory(), platform::DefaultLyricsDirectory().substr(0, kLyricsDirSize - 1));
}

TEST_F(WindowTest, ReadsTheStoredDirectoryAtStart) {
    const std::string stored = dir.Str();
    ASSERT_TRUE(platform::WriteProfileString(STROFIX_SETTINGS_SECTION, STROFIX_SETTINGS_KEY,
                                             stored.c_str(), platform::SettingsFilePath().c_str()));
    RunWindow([&](CLyricsDlg& dlg, FakeDialogBackend&) {
        EXPECT_EQ(std::string(dlg.m_lyricsDir), stored);
    });
}

TEST_F(WindowTest, EnteringDirectoryModeStepByStep) {
    RunWindow([&](CLyricsDlg& dlg, FakeDialogBackend& b) {
        SetDir(dlg, dir.Str());
        b.calls.clear();
        b.Click(IDC_OPTIONS);
        const Calls want = {
            "KillTimer(1,0)",   "SetReadOnly(1001,0)", "SetWindowText(" + kDirTitle + ")",
            "SetFocus(1001,0)",
            "SetCheck(1003,1)",  // the focus handler's push: the field shows the directory
            "SetSel(0,100)",
            "SetCheck(1003,1)",  // the last push keeps the selection
        };
        EXPECT_EQ(b.calls, want);
        const FakeControl& field = b.controls[IDC_LYRIC_EDIT];
        EXPECT_EQ(field.text, dir.Str());
        EXPECT_EQ(field.selStart, 0);
        EXPECT_EQ(field.selEnd, std::min<int>(100, static_cast<int>(dir.Str().size())));
        // No tick arrives while the directory is being entered.
        EXPECT_FALSE(b.Tick(kTickTimerId));
    });
}

TEST_F(WindowTest, FocusRuleInBothModes) {
    RunWindow([&](CLyricsDlg& dlg, FakeDialogBackend& b) {
        SetDir(dlg, dir.Str());
        b.SetFocus(IDC_LYRIC_EDIT);  // a click or Tab in display mode
        EXPECT_EQ(b.focus, IDC_OPTIONS);
        EnterDirectoryMode(b);
        b.Type(IDC_LYRIC_EDIT, "half typed");
        b.SetFocus(IDC_OPTIONS);
        b.SetFocus(IDC_LYRIC_EDIT);  // back to the field: it keeps the focus ...
        EXPECT_EQ(b.focus, IDC_LYRIC_EDIT);
        // ... and shows the display text again in place of what was typed.
        EXPECT_EQ(b.controls[IDC_LYRIC_EDIT].text, dir.Str());
    });
}

TEST_F(WindowTest, OptionsInDirectoryModeAcceptsOrRefusesTheText) {
    TempDir other;
    const auto plainFile = other.Write("plain file.txt", "not a folder");
    const std::string sub = (other.Path() / "sub").string();
    std::filesystem::create_directory(sub);
    // A directory that exists but whose path does not fit the setting's 99 characters,
    // inside one whose path is exactly 99: cutting the text would accept the wrong one.
    const std::string at99 = Path99(other).string();
    std::filesystem::create_directories(at99 + sep + "deeper");

    struct Case {
        const char* name;
        std::optional<std::string> typed;   // nullopt: the shown directory is left as it is
        std::optional<std::string> stored;  // nullopt: refused
    };
    const std::vector<Case> cases = {
        {"existing directory", other.Str(), other.Str()},
        {"trailing separator removed", other.Str() + sep, other.Str()},
        {"only one separator removed", sub + sep + sep, sub + sep},
        {"existing plain file", plainFile.string(), plainFile.string()},
        {"exactly 99 characters", at99, at99},
        {"unchanged text offered again", std::nullopt, dir.Str()},
        {"missing", (dir.Path() / "no such folder").string(), std::nullopt},
        {"missing with trailing separator", (dir.Path() / "nope").string() + sep, std::nullopt},
        {"empty", "", std::nullopt},
        {"separator only once removed", sep, std::nullopt},
        {"existing but too long", at99 + sep + "deeper", std::nullopt},
    };
    // Accepted: back to display mode with an empty field, the focus not moved. Refused: the
    // window stays as it was, the button pressed, the typed text selected in the field.
    const Calls accepted = {"SetReadOnly(1001,1)", "SetWindowText(" STROFIX_APP_TITLE ")",
                            "SetCheck(1003,0)", "SetTimer(1,300)"};
    const Calls refused = {"MessageBox(" STROFIX_INVALID_PATH_TEXT ")", "SetFocus(1001,0)",
                           "SetCheck(1003,1)", "SetSel(0,100)", "SetCheck(1003,1)"};
    for (const Case& c : cases) {
        RunWindow([&](CLyricsDlg& dlg, FakeDialogBackend& b) {
            SetDir(dlg, dir.Str());
            EnterDirectoryMode(b);
            if (c.typed) b.Type(IDC_LYRIC_EDIT, *c.typed);
            b.calls.clear();
            b.Click(IDC_OPTIONS);
            EXPECT_EQ(b.calls, c.stored ? accepted : refused) << c.name;
            EXPECT_EQ(std::string(dlg.m_lyricsDir), c.stored.value_or(dir.Str())) << c.name;
            EXPECT_EQ(b.controls[IDC_LYRIC_EDIT].text, c.stored ? "" : *c.typed) << c.name;
            if (!c.stored) {
                ASSERT_EQ(b.boxes.size(), 1U) << c.name;
                EXPECT_EQ(b.boxes[0].text, STROFIX_INVALID_PATH_TEXT);
                EXPECT_EQ(b.boxes[0].caption, STROFIX_ERROR_CAPTION);
                EXPECT_EQ(b.boxes[0].type, kMbOk);
            }
        });
    }
}

TEST_F(WindowTest, StoredDirectoryGoneIsRefused) {
    TempDir gone;
    const std::string path = gone.Str();
    RunWindow([&](CLyricsDlg& dlg, FakeDialogBackend& b) {
        SetDir(dlg, path);
        EnterDirectoryMode(b);
        std::filesystem::remove_all(path);
        b.Click(IDC_OPTIONS);
        EXPECT_EQ(b.boxes.size(), 1U);
        EXPECT_EQ(dlg.m_directoryMode, 1);
    });
}

TEST_F(WindowTest, EnterOrEscapeEndsTheWindowAndSavesTheLastAcceptedDirectory) {
    TempDir accepted;
    TempDir typedOnly;
    for (const int command : {kIdOk, kIdCancel}) {
        const int result = RunWindow([&](CLyricsDlg& dlg, FakeDialogBackend& b) {
            SetDir(dlg, dir.Str());
            EnterDirectoryMode(b);
            b.Type(IDC_LYRIC_EDIT, accepted.Str());
            b.Click(IDC_OPTIONS);
            ASSERT_EQ(std::string(dlg.m_lyricsDir), accepted.Str());
            EnterDirectoryMode(b);
            b.Type(IDC_LYRIC_EDIT, typedOnly.Str());
            dlg.OnCommand(command, kBnClicked);  // Enter, or Escape and the close box
            EXPECT_FALSE(b.running);
        });
        EXPECT_EQ(result, command);
        EXPECT_EQ(SavedDirectory(), accepted.Str()) << command;
    }
}

TEST_F(WindowTest, ChangingDirectoryRetriesAFailedLoadButKeepsALoadedSong) {
    TempDir first;
    TempDir second;
    first.Write("A.txt", "[00:01]first A\n");
    second.Write("A.txt", "[00:01]second A\n");
    second.Write("B.txt", "[00:01]second B\n");
    TestBlock block;
    ASSERT_TRUE(block.Ok());
    RunWindow([&](CLyricsDlg& dlg, FakeDialogBackend& b) {
        ASSERT_TRUE(dlg.m_player.OpenBlock(block.Name(), block.EventName()));
        SetDir(dlg, first.Str());
        block.SetPath("D:\\B.mp3");
        block.SetPosition(1000);
        ASSERT_TRUE(b.Tick(kTickTimerId));
        EXPECT_EQ(dlg.m_displayText, STROFIX_NO_LYRICS_TEXT);
        EnterDirectoryMode(b);
        b.Type(IDC_LYRIC_EDIT, second.Str());
        b.Click(IDC_OPTIONS);
        EXPECT_EQ(dlg.m_displayText, "");   // empty until the next tick writes
        ASSERT_TRUE(b.Tick(kTickTimerId));  // the retry uses the new directory
        ASSERT_TRUE(b.Tick(kTickTimerId));
        EXPECT_EQ(dlg.m_displayText, "second B");

        // A song loaded from the old directory keeps its lines.
        SetDir(dlg, first.Str());
        block.SetPath("D:\\A.mp3");
        ASSERT_TRUE(b.Tick(kTickTimerId));
        ASSERT_TRUE(b.Tick(kTickTimerId));
        EXPECT_EQ(dlg.m_displayText, "first A");
        EnterDirectoryMode(b);
        b.Type(IDC_LYRIC_EDIT, second.Str());
        b.Click(IDC_OPTIONS);
        ASSERT_TRUE(b.Tick(kTickTimerId));
        EXPECT_EQ(dlg.m_displayText, "first A");
    });
}

TEST_F(WindowTest, SystemMenuCommands) {
    struct Case {
        unsigned command;
        bool about;
    };
    const Case cases[] = {
        {0x0010, true},  {0x0013, true},  {0x001F, true},  {0x0000, false},
        {0x0020, false}, {0xF020, false}, {0xF060, false}, {0x0110, false},
    };
    for (const Case& c : cases) {
        std::vector<int> shown;
        FakeDialogBackend::ModalScript() = [&](FakeDialogBackend& b) {
            shown.push_back(b.templateId_);
        };
        CLyricsDlg dlg;
        FakeDialogBackend& b = FakeDialogBackend::Of(dlg);
        dlg.OnSysCommand(c.command, 0);
        const bool defaulted =
            std::find(b.calls.begin(), b.calls.end(),
                      "DefaultSysCommand(" + std::to_string(c.command) + ",0)") != b.calls.end();
        if (c.about) {
            EXPECT_EQ(shown, std::vector<int>{IDD_ABOUTBOX}) << c.command;
            EXPECT_FALSE(defaulted) << c.command;
        } else {
            EXPECT_TRUE(shown.empty()) << c.command;
            EXPECT_TRUE(defaulted) << c.command;
        }
    }
}

TEST_F(WindowTest, TickKeepsRunningWhileTheAboutBoxIsOpen) {
    RunWindow([&](CLyricsDlg& dlg, FakeDialogBackend& main) {
        bool running = false;
        FakeDialogBackend::ModalScript() = [&](FakeDialogBackend& about) {
            if (about.templateId_ == IDD_ABOUTBOX) running = main.Tick(kTickTimerId);
        };
        dlg.OnSysCommand(IDM_ABOUTBOX, 0);
        EXPECT_TRUE(running);
    });
}

TEST_F(WindowTest, MinimisedWindowPaintsItsIconCentred) {
    CLyricsDlg dlg;
    FakeDialogBackend& b = FakeDialogBackend::Of(dlg);
    dlg.OnPaint();
    EXPECT_EQ(b.defaultPaints, 1);
    EXPECT_EQ(b.paintX, -1);
    b.iconic = true;
    dlg.OnPaint();
    EXPECT_EQ(b.defaultPaints, 1);
    EXPECT_EQ(b.paintX, (160 - 32 + 1) / 2);
    EXPECT_EQ(b.paintY, -2);  // a client area lower than the icon
}

TEST(CenteredIconPosition, TruncatesTowardZero) {
    struct Case {
        int cw, ch, iw, ih, x, y;
    };
    const Case cases[] = {
        {160, 27, 32, 32, 64, -2}, {33, 33, 32, 32, 1, 1},
        {100, 50, 16, 16, 42, 17}, {0, 0, 32, 32, -15, -15},  // not -16: truncation, not flooring
        {32, 31, 32, 32, 0, 0},
    };
    for (const Case& c : cases) {
        const IconPosition at = CenteredIconPosition(c.cw, c.ch, c.iw, c.ih);
        EXPECT_EQ(at.x, c.x) << c.cw << "x" << c.ch;
        EXPECT_EQ(at.y, c.y) << c.cw << "x" << c.ch;
    }
}

}  // namespace
