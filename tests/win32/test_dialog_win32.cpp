// The real main window, made from its template by the system's dialog manager and run
// modally on the test's thread, driven from a second thread the way a user and the
// player would: messages, clicks, keys, the shared block. Ticks are sent by the driver
// itself where a tick of the real timer would race a check; whether timer 1 is running
// is asked on the window's own thread by a message hook.
#include "platform/win32/win32_api.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/win32/win32_backend.h"
#include "player/player_info.h"
#include "res/resource.h"
#include "tests/win32/win32_test_support.h"
#include "ui/lyrics_dlg.h"

namespace fs = std::filesystem;

namespace {

// --- asking the window's thread whether timer 1 runs -------------------------------------

UINT g_probeMessage = 0;
std::atomic<int> g_probeAnswer{-1};

// Runs on the window's thread: a timer that can be killed was running; it is started
// again at once with the program's period, so nothing changes but the phase.
LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == g_probeMessage) {
        const bool running = KillTimer(call->hwnd, kTickTimerId) != FALSE;
        if (running) SetTimer(call->hwnd, kTickTimerId, kTickPeriodMs, nullptr);
        g_probeAnswer = running ? 1 : 0;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool TimerRunning(HWND dialog) {
    g_probeAnswer = -1;
    SendMessageA(dialog, g_probeMessage, 0, 0);
    return g_probeAnswer == 1;
}

// --- looking at windows from the driver's thread ------------------------------------------

std::string TextOf(HWND hwnd) {
    char text[512] = "";
    // WM_GETTEXT works across threads and processes alike.
    SendMessageA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

using DialogSearch = std::pair<std::string, HWND>;  // caption, what was found

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    char name[64] = "";
    GetClassNameA(hwnd, name, sizeof name);
    if (!IsWindowVisible(hwnd) || std::string(name) != "#32770" || TextOf(hwnd) != search->first) {
        return TRUE;
    }
    search->second = hwnd;
    return FALSE;
}

// A visible dialog of `thread` with this caption, or null.
HWND FindDialog(DWORD thread, const std::string& caption) {
    DialogSearch search{caption, nullptr};
    EnumThreadWindows(thread, MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

HWND WaitForDialog(DWORD thread, const std::string& caption) {
    HWND found = nullptr;
    strofix_test::WaitFor([&] { return (found = FindDialog(thread, caption)) != nullptr; });
    return found;
}

HWND FocusOf(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

std::pair<int, int> Selection(HWND edit) {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {static_cast<int>(start), static_cast<int>(end)};
}

// What tells the two modes apart.
void ExpectMode(HWND dialog, bool directory) {
    HWND edit = GetDlgItem(dialog, IDC_LYRIC_EDIT);
    EXPECT_EQ(TextOf(dialog), directory ? STROFIX_DIR_MODE_TITLE : STROFIX_APP_TITLE);
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_OPTIONS), BM_GETCHECK, 0, 0) == BST_CHECKED,
              directory);
    EXPECT_EQ((GetWindowLongA(edit, GWL_STYLE) & ES_READONLY) == 0, directory);
    EXPECT_EQ(TimerRunning(dialog), !directory);
}

void SetText(HWND hwnd, const std::string& text) {
    SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Tick(HWND dialog) {
    SendMessageA(dialog, WM_TIMER, kTickTimerId, 0);
}

// Whether the window went away after what the script did to end it (before the clean-up
// would close it anyway).
bool EndsByItself(HWND dialog) {
    return strofix_test::WaitFor([&] { return !IsWindow(dialog); }, 5000);
}

void PressKey(HWND target, WPARAM key) {
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

// --- the fixture --------------------------------------------------------------------------

class LyricsWindowWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        if (g_probeMessage == 0) g_probeMessage = RegisterWindowMessageA("StrofixTestTimerProbe");
        thread_ = GetCurrentThreadId();
        hook_ = SetWindowsHookExA(WH_CALLWNDPROC, ProbeHook, nullptr, thread_);
        ASSERT_NE(hook_, nullptr);

        settings_ = platform::SettingsFilePath();
        std::ifstream saved(settings_, std::ios::binary);
        if (saved) {
            std::ostringstream s;
            s << saved.rdbuf();
            savedSettings_ = s.str();
        }

        lyrics_ = strofix_test::TempDir("lyrics");
        std::ofstream(lyrics_ / "Song.txt") << "[00:00]First line\n[00:12]Twelve\n[00:05]Five\n";
        ASSERT_TRUE(platform::WriteProfileString(STROFIX_SETTINGS_SECTION, STROFIX_SETTINGS_KEY,
                                                 lyrics_.string().c_str(), settings_.c_str()));

        ASSERT_TRUE(platform::OpenSharedBlock(kPlayerBlockName, kPlayerBlockSize, &block_));
        ASSERT_GE(block_.mappedSize, kPlayerBlockSize);
        Play("", 0);
        ResetTickState();
    }

    void TearDown() override {
        if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
        Play("", 0);
        platform::CloseSharedBlock(&block_);
        std::error_code ignored;
        if (savedSettings_) {
            std::ofstream(settings_, std::ios::binary) << *savedSettings_;
        } else {
            fs::remove(settings_, ignored);
        }
        fs::remove_all(lyrics_, ignored);
    }

    std::string StoredDirectory() {
        char dir[200];
        platform::GetProfileString(STROFIX_SETTINGS_SECTION, STROFIX_SETTINGS_KEY, "<missing>", dir,
                                   sizeof dir, settings_.c_str());
        return dir;
    }

    // What the player publishes.
    void Play(const std::string& path, std::uint32_t positionMs) {
        auto* bytes = static_cast<unsigned char*>(block_.view);
        std::memcpy(bytes + kPositionOffset, &positionMs, sizeof positionMs);
        std::memcpy(bytes + kSongPathOffset, path.c_str(), path.size() + 1);
    }

    // Runs the main window modally on this thread while `script` drives it from another;
    // whatever the script leaves open is closed after it. Returns DoModal's result; the
    // window object is gone (and the settings written) when this returns.
    int Run(const std::function<void(HWND dialog)>& script) {
        int result = -1;
        std::thread driver([&] {
            HWND dialog = WaitForDialog(thread_, STROFIX_APP_TITLE);
            EXPECT_NE(dialog, nullptr) << "the main window did not appear";
            if (dialog == nullptr) return;
            script(dialog);
            for (int round = 0; round < 100 && IsWindow(dialog); ++round) {
                for (const char* caption : {STROFIX_ERROR_CAPTION, STROFIX_ABOUT_TITLE}) {
                    HWND box = FindDialog(thread_, caption);
                    if (box != nullptr) PostMessageA(box, WM_COMMAND, IDOK, 0);
                }
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                Sleep(50);
            }
        });
        {
            CLyricsDlg dlg;
            result = dlg.DoModal();
        }
        driver.join();
        return result;
    }

    DWORD thread_ = 0;
    HHOOK hook_ = nullptr;
    std::string settings_;
    std::optional<std::string> savedSettings_;
    fs::path lyrics_;
    platform::SharedBlock block_;
};

// --- display mode -------------------------------------------------------------------------

TEST_F(LyricsWindowWin32, StartsInDisplayModeAndFollowsTheSong) {
    const int result = Run([&](HWND dialog) {
        HWND edit = GetDlgItem(dialog, IDC_LYRIC_EDIT);
        HWND options = GetDlgItem(dialog, IDC_OPTIONS);
        ASSERT_TRUE(edit != nullptr && options != nullptr);
        // The dialog manager gives the focus to the lyric display, whose focus handler
        // passes it on to Options.
        EXPECT_TRUE(strofix_test::WaitFor([&] { return FocusOf(thread_) == options; }));
        ExpectMode(dialog, false);
        EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), LYRIC_EDIT_MAX_CHARS);

        // Placed at 0, 0 by its template: centred on the work area.
        RECT window{};
        RECT area{};
        GetWindowRect(dialog, &window);
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        EXPECT_LE(std::abs((window.left + window.right) - (area.left + area.right)), 2);
        EXPECT_LE(std::abs((window.top + window.bottom) - (area.top + area.bottom)), 2);

        // Both icons set, and the same icon answers the drag query.
        const LRESULT big = SendMessageA(dialog, WM_GETICON, ICON_BIG, 0);
        EXPECT_NE(big, 0);
        EXPECT_NE(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0), 0);
        EXPECT_EQ(SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0), big);

        // The About item ends the system menu, after a separator.
        HMENU menu = GetSystemMenu(dialog, FALSE);
        const int count = GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        char item[64] = "";
        GetMenuStringA(menu, count - 1, item, sizeof item, MF_BYPOSITION);
        EXPECT_STREQ(item, STROFIX_ABOUT_ITEM_TEXT);
        EXPECT_TRUE(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);

        // The focus given to the display in display mode is back on Options by the time
        // SetFocus returns.
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
        EXPECT_EQ(FocusOf(thread_), options);

        // One tick loads the song, the next shows its first line; then each line at its
        // own second.
        Play("D:\\Music\\Song.mp3", 0);
        Tick(dialog);
        Tick(dialog);
        EXPECT_EQ(TextOf(edit), "First line");
        Play("D:\\Music\\Song.mp3", 5999);
        Tick(dialog);
        EXPECT_EQ(TextOf(edit), "Five");

        // A song without a lyrics file: the message, and the tick goes on.
        Play("D:\\Music\\Missing.mp3", 0);
        Tick(dialog);
        Tick(dialog);
        EXPECT_EQ(TextOf(edit), STROFIX_NO_LYRICS_TEXT);
        EXPECT_TRUE(TimerRunning(dialog));

        // The real timer does the same work by itself.
        Play("D:\\Music\\Song.mp3", 12000);
        EXPECT_TRUE(strofix_test::WaitFor([&] { return TextOf(edit) == "Twelve"; }))
            << "shown: \"" << TextOf(edit) << "\", timer running: " << TimerRunning(dialog);

        PressKey(options, VK_RETURN);
        EXPECT_TRUE(EndsByItself(dialog));
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(StoredDirectory(), lyrics_.string());
}

// --- directory mode -----------------------------------------------------------------------

TEST_F(LyricsWindowWin32, DirectoryModeRefusesThenAcceptsATypedDirectory) {
    const fs::path chosen = strofix_test::TempDir("chosen");
    const std::string refused = "C:\\no such place\\" + std::string(150, 'r');
    const int result = Run([&](HWND dialog) {
        HWND edit = GetDlgItem(dialog, IDC_LYRIC_EDIT);
        HWND options = GetDlgItem(dialog, IDC_OPTIONS);
        const std::string stored = lyrics_.string();

        // Into directory mode: the stored directory, selected, in the focused field.
        SendMessageA(options, BM_CLICK, 0, 0);
        ExpectMode(dialog, true);
        EXPECT_EQ(TextOf(edit), stored);
        EXPECT_EQ(Selection(edit), std::make_pair(0, static_cast<int>(stored.size())));
        EXPECT_EQ(FocusOf(thread_), edit);

        // The field keeps the focus in this mode, and getting it back shows the directory
        // again in place of what was typed.
        SetText(edit, "half typed");
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(options), TRUE);
        EXPECT_EQ(FocusOf(thread_), options);
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
        EXPECT_EQ(FocusOf(thread_), edit);
        EXPECT_EQ(TextOf(edit), stored);

        // A path that does not exist: the box with OK alone, then back to directory mode
        // with the typed text and its first 100 characters selected.
        SetText(edit, refused);
        PostMessageA(options, BM_CLICK, 0, 0);
        HWND box = WaitForDialog(thread_, STROFIX_ERROR_CAPTION);
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
        EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), STROFIX_INVALID_PATH_TEXT);
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(box, IDOK)));
        HWND cancel = GetDlgItem(box, IDCANCEL);
        EXPECT_TRUE(cancel == nullptr || !IsWindowVisible(cancel));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(strofix_test::WaitFor([&] { return !IsWindow(box); }));
        EXPECT_TRUE(strofix_test::WaitFor(
            [&] { return SendMessageA(options, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
        EXPECT_EQ(TextOf(edit), refused);
        ExpectMode(dialog, true);
        EXPECT_EQ(Selection(edit), std::make_pair(0, kDirectorySelectionEnd));
        EXPECT_EQ(FocusOf(thread_), edit);

        // An existing directory with a trailing backslash: back to display mode; going in
        // again offers it without the backslash.
        SetText(edit, chosen.string() + "\\");
        SendMessageA(options, BM_CLICK, 0, 0);
        EXPECT_EQ(FindDialog(thread_, STROFIX_ERROR_CAPTION), nullptr);
        ExpectMode(dialog, false);
        EXPECT_EQ(TextOf(edit), "");
        SendMessageA(options, BM_CLICK, 0, 0);
        EXPECT_EQ(TextOf(edit), chosen.string());
        SendMessageA(options, BM_CLICK, 0, 0);
        ExpectMode(dialog, false);

        PressKey(edit, VK_ESCAPE);
        EXPECT_TRUE(EndsByItself(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(StoredDirectory(), chosen.string());
    fs::remove_all(chosen);
}

TEST_F(LyricsWindowWin32, FirstStartUsesTheDefaultAndEscapeKeepsItStored) {
    std::error_code ignored;
    fs::remove(settings_, ignored);
    const int result = Run([&](HWND dialog) {
        HWND edit = GetDlgItem(dialog, IDC_LYRIC_EDIT);
        SendMessageA(GetDlgItem(dialog, IDC_OPTIONS), BM_CLICK, 0, 0);
        EXPECT_EQ(TextOf(edit), platform::DefaultLyricsDirectory());
        SetText(edit, "D:\\typed");  // typed but never accepted: not what is written at exit
        PressKey(edit, VK_ESCAPE);
        EXPECT_TRUE(EndsByItself(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(StoredDirectory(), platform::DefaultLyricsDirectory());
}

// --- system menu and About box ------------------------------------------------------------

TEST_F(LyricsWindowWin32, TheAboutBoxOpensOverTheWindowAndTheTickGoesOn) {
    const int result = Run([&](HWND dialog) {
        PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        HWND about = WaitForDialog(thread_, STROFIX_ABOUT_TITLE);
        ASSERT_NE(about, nullptr) << "no About box";
        EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
        EXPECT_FALSE(IsWindowEnabled(dialog));  // no input to the main window meanwhile

        std::string texts;
        for (HWND child = GetWindow(about, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            texts += TextOf(child) + "\n";
        }
        for (const char* text : {STROFIX_PRODUCT_TEXT, STROFIX_NOTICE_TEXT, STROFIX_OK_TEXT}) {
            EXPECT_NE(texts.find(std::string(text) + "\n"), std::string::npos) << texts;
        }

        // The tick still reaches the display while the box is up.
        EXPECT_TRUE(TimerRunning(dialog));
        Play("D:\\Music\\Song.mp3", 5000);
        EXPECT_TRUE(strofix_test::WaitFor(
            [&] { return TextOf(GetDlgItem(dialog, IDC_LYRIC_EDIT)) == "Five"; }));

        PressKey(GetDlgItem(about, IDOK), VK_RETURN);
        EXPECT_TRUE(strofix_test::WaitFor([&] { return !IsWindow(about); }));
        EXPECT_TRUE(IsWindowEnabled(dialog));

        // Other system commands take the default road: closing ends the window.
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(EndsByItself(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(StoredDirectory(), lyrics_.string());
}

}  // namespace
