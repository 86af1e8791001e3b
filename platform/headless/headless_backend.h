// A dialog backend without a window, for programs that run a dialog's logic in a console:
// controls keep their state in memory, timers are real, and RunTimers is the message loop
// that delivers them. Standard library only, so it builds on every platform.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "platform/dialog.h"

class HeadlessDialogBackend : public DialogBackend {
public:
    using Clock = std::chrono::steady_clock;

    HeadlessDialogBackend(CDialog& owner, int templateId)
        : owner_(owner), templateId_(templateId) {}

    static HeadlessDialogBackend& Of(CDialog& dlg);

    // Sends the initialisation to the owner, then runs the timers until EndDialog.
    int RunModal() override;
    // The loop: waits for the earliest running timer and delivers it to the owner, until
    // EndDialog is called or `stop` answers true (it is asked at least every 50 ms while
    // waiting). A timer that falls behind is not delivered twice to catch up. Returns
    // EndDialog's result, or kIdCancel when stopped or when no timer is left to wait for.
    int RunTimers(const std::function<bool()>& stop = {});

    void EndDialog(int result) override;
    void SetTimer(unsigned id, unsigned periodMs) override;
    void KillTimer(unsigned id) override;
    bool TimerRunning(unsigned id) const { return timers_.count(id) != 0; }

    std::string GetItemText(int id) override;
    void SetItemText(int id, const std::string& text) override;
    void LimitText(int id, int maxChars) override;
    bool GetCheck(int id) override;
    void SetCheck(int id, bool checked) override;
    void SetReadOnly(int /*id*/, bool /*readOnly*/) override {}
    void SetSel(int /*id*/, int /*start*/, int /*end*/) override {}
    // No window to move the focus in; the focus notification is still delivered, as the
    // dialog's focus rules expect it.
    void SetFocus(int id) override;

    void SetWindowText(const std::string& text) override { title_ = text; }
    // Written to stderr as "caption: text"; answers OK.
    int MessageBox(const std::string& text, const std::string& caption, unsigned type) override;
    bool AppendSystemMenuItem(unsigned /*command*/, const std::string& /*text*/) override {
        return false;  // no window menu
    }
    void DefaultSysCommand(unsigned /*command*/, long /*param*/) override {}
    std::string LoadString(unsigned id) override;
    IconHandle LoadIcon(unsigned /*id*/) override { return nullptr; }
    void SetIcon(IconHandle /*icon*/, bool /*big*/) override {}
    bool IsIconic() override { return false; }
    void GetClientSize(int* width, int* height) override;
    void GetIconMetrics(int* width, int* height) override;
    void PaintIconic(IconHandle /*icon*/, int /*x*/, int /*y*/) override {}
    void DefaultPaint() override {}

    const std::string& Title() const { return title_; }
    int TemplateId() const { return templateId_; }

private:
    struct Timer {
        Clock::duration period;
        Clock::time_point due;
        unsigned generation;  // changes when the timer is set again
    };
    struct Control {
        std::string text;
        int limit = -1;
        bool checked = false;
    };

    CDialog& owner_;
    int templateId_;
    std::map<unsigned, Timer> timers_;
    std::map<int, Control> controls_;
    std::string title_;
    unsigned generations_ = 0;
    bool running_ = false;
    int result_ = kIdCancel;
};
