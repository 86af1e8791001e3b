// A dialog backend without a window, for tests: it keeps the controls' state in memory,
// records every call (unless told not to), and lets the test deliver messages as the platform
// would.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog.h"

struct FakeControl {
    std::string text;
    int textWrites = 0;  // times the text was really rewritten
    int limit = -1;
    bool checked = false;
    bool readOnly = true;
    int selStart = -1;
    int selEnd = -1;
};

class FakeDialogBackend : public DialogBackend {
public:
    FakeDialogBackend(CDialog& owner, int templateId) : owner_(owner), templateId_(templateId) {}
    ~FakeDialogBackend() override;

    // Every fake backend made since the last Reset, in order, so tests can reach the one
    // behind a dialog they did not make themselves (the About box).
    static std::vector<FakeDialogBackend*>& Instances();
    static FakeDialogBackend& Of(CDialog& dlg);
    // What RunModal does instead of a message loop: runs with the backend, then ends the
    // dialog with kIdCancel unless it ended already. It runs for every modal dialog, the
    // About box opened from inside it included: check templateId_.
    static std::function<void(FakeDialogBackend&)>& ModalScript();
    // What MessageBox answers; every box shown is recorded.
    struct Box {
        std::string text;
        std::string caption;
        unsigned type;
    };

    int RunModal() override;
    void EndDialog(int result) override;
    void SetTimer(unsigned id, unsigned periodMs) override;
    void KillTimer(unsigned id) override;
    std::string GetItemText(int id) override;
    void SetItemText(int id, const std::string& text) override;
    void LimitText(int id, int maxChars) override;
    bool GetCheck(int id) override;
    void SetCheck(int id, bool checked) override;
    void SetReadOnly(int id, bool readOnly) override;
    void SetSel(int id, int start, int end) override;
    void SetFocus(int id) override;
    void SetWindowText(const std::string& text) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
    bool AppendSystemMenuItem(unsigned command, const std::string& text) override;
    void DefaultSysCommand(unsigned command, long param) override;
    std::string LoadString(unsigned id) override;
    IconHandle LoadIcon(unsigned id) override;
    void SetIcon(IconHandle icon, bool big) override;
    bool IsIconic() override { return iconic; }
    void GetClientSize(int* width, int* height) override;
    void GetIconMetrics(int* width, int* height) override;
    void PaintIconic(IconHandle icon, int x, int y) override;
    void DefaultPaint() override { ++defaultPaints; }

    // What the user does: type into a control, click a button (it toggles when it is a
    // check box), and what the platform delivers: a tick of a running timer.
    void Type(int id, const std::string& text);
    void Click(int id);
    bool Tick(unsigned id);  // false when that timer is not running

    CDialog& owner_;
    int templateId_;
    std::map<int, FakeControl> controls;
    std::map<unsigned, unsigned> timers;  // running timers: id -> period
    std::vector<std::string> calls;       // every call, in order, as "Name(args)"
    bool recording = true;                // false: `calls` stays as it is (benchmarks)
    std::vector<Box> boxes;
    std::vector<std::pair<unsigned, std::string>> systemMenu;
    std::string title;
    int focus = 0;
    bool running = false;
    int result = -1;
    bool iconic = false;
    int defaultPaints = 0;
    int paintX = -1;
    int paintY = -1;
};
