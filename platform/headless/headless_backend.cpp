#include "platform/headless/headless_backend.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "res/resource.h"

namespace {
constexpr auto kLongestWait = std::chrono::milliseconds(50);
}

std::unique_ptr<DialogBackend> CreateDialogBackend(CDialog& owner, int templateId,
                                                   CDialog* /*parent*/) {
    return std::make_unique<HeadlessDialogBackend>(owner, templateId);
}

HeadlessDialogBackend& HeadlessDialogBackend::Of(CDialog& dlg) {
    return static_cast<HeadlessDialogBackend&>(dlg.Backend());
}

int HeadlessDialogBackend::RunModal() {
    running_ = true;
    result_ = kIdCancel;
    owner_.OnInitDialog();
    if (!running_) return result_;  // ended during the initialisation
    return RunTimers();
}

int HeadlessDialogBackend::RunTimers(const std::function<bool()>& stop) {
    running_ = true;
    result_ = kIdCancel;
    while (running_) {
        if (stop && stop()) return kIdCancel;
        if (timers_.empty()) return kIdCancel;  // nothing could ever happen again
        auto next = std::min_element(
            timers_.begin(), timers_.end(),
            [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
        const Clock::time_point now = Clock::now();
        if (now < next->second.due) {
            std::this_thread::sleep_for(
                std::min<Clock::duration>(next->second.due - now, kLongestWait));
            continue;
        }
        const unsigned id = next->first;
        const unsigned generation = next->second.generation;
        owner_.OnTimer(id);
        // The handler may have killed or set the timer again; otherwise it comes again one
        // period after it was due, or one period from now when it fell behind.
        auto it = timers_.find(id);
        if (it != timers_.end() && it->second.generation == generation) {
            it->second.due += it->second.period;
            const Clock::time_point after = Clock::now();
            if (it->second.due <= after) it->second.due = after + it->second.period;
        }
    }
    return result_;
}

void HeadlessDialogBackend::EndDialog(int result) {
    running_ = false;
    result_ = result;
}

void HeadlessDialogBackend::SetTimer(unsigned id, unsigned periodMs) {
    const auto period = std::chrono::milliseconds(std::max(periodMs, 1U));
    timers_[id] = Timer{period, Clock::now() + period, ++generations_};
}

void HeadlessDialogBackend::KillTimer(unsigned id) {
    timers_.erase(id);
}

std::string HeadlessDialogBackend::GetItemText(int id) {
    return controls_[id].text;
}

void HeadlessDialogBackend::SetItemText(int id, const std::string& text) {
    controls_[id].text = text;
}

void HeadlessDialogBackend::LimitText(int id, int maxChars) {
    controls_[id].limit = maxChars;
}

bool HeadlessDialogBackend::GetCheck(int id) {
    return controls_[id].checked;
}

void HeadlessDialogBackend::SetCheck(int id, bool checked) {
    controls_[id].checked = checked;
}

void HeadlessDialogBackend::SetFocus(int id) {
    if (templateId_ == IDD_MAIN_DIALOG && id == IDC_LYRIC_EDIT) {
        owner_.OnCommand(IDC_LYRIC_EDIT, kEnSetFocus);
    }
}

int HeadlessDialogBackend::MessageBox(const std::string& text, const std::string& caption,
                                      unsigned /*type*/) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return kIdOk;
}

std::string HeadlessDialogBackend::LoadString(unsigned id) {
    return id == IDS_ABOUTBOX ? STROFIX_ABOUT_ITEM_TEXT : "";
}

void HeadlessDialogBackend::GetClientSize(int* width, int* height) {
    *width = 0;
    *height = 0;
}

void HeadlessDialogBackend::GetIconMetrics(int* width, int* height) {
    *width = 0;
    *height = 0;
}
