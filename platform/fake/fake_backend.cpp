#include "platform/fake/fake_backend.h"

#include <algorithm>

#include "res/resource.h"

namespace {
std::string Call(const std::string& name, long a = 0, long b = 0) {
    return name + "(" + std::to_string(a) + "," + std::to_string(b) + ")";
}
int g_icon = 0;
}  // namespace

std::unique_ptr<DialogBackend> CreateDialogBackend(CDialog& owner, int templateId,
                                                   CDialog* /*parent*/) {
    auto backend = std::make_unique<FakeDialogBackend>(owner, templateId);
    FakeDialogBackend::Instances().push_back(backend.get());
    return backend;
}

FakeDialogBackend::~FakeDialogBackend() {
    auto& all = Instances();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

std::vector<FakeDialogBackend*>& FakeDialogBackend::Instances() {
    static std::vector<FakeDialogBackend*> instances;
    return instances;
}

FakeDialogBackend& FakeDialogBackend::Of(CDialog& dlg) {
    return static_cast<FakeDialogBackend&>(dlg.Backend());
}

std::function<void(FakeDialogBackend&)>& FakeDialogBackend::ModalScript() {
    static std::function<void(FakeDialogBackend&)> script;
    return script;
}

int FakeDialogBackend::RunModal() {
    if (recording) calls.push_back(Call("RunModal", templateId_));
    running = true;
    result = -1;
    // The template's controls: the lyric field starts read-only, the others writable.
    if (templateId_ == IDD_MAIN_DIALOG) {
        controls[IDC_LYRIC_EDIT].readOnly = true;
        controls[IDC_OPTIONS].readOnly = false;
    }
    if (owner_.OnInitDialog() && templateId_ == IDD_MAIN_DIALOG) SetFocus(IDC_LYRIC_EDIT);
    if (ModalScript()) {
        auto script = ModalScript();
        script(*this);
    }
    if (running) EndDialog(kIdCancel);
    timers.clear();  // the window and its timers are gone
    return result;
}

void FakeDialogBackend::EndDialog(int r) {
    if (recording) calls.push_back(Call("EndDialog", r));
    running = false;
    result = r;
}

void FakeDialogBackend::SetTimer(unsigned id, unsigned periodMs) {
    if (recording) calls.push_back(Call("SetTimer", id, periodMs));
    timers[id] = periodMs;
}

void FakeDialogBackend::KillTimer(unsigned id) {
    if (recording) calls.push_back(Call("KillTimer", id));
    timers.erase(id);
}

std::string FakeDialogBackend::GetItemText(int id) {
    return controls[id].text;
}

void FakeDialogBackend::SetItemText(int id, const std::string& text) {
    FakeControl& c = controls[id];
    if (c.text == text) return;
    c.text = text;
    ++c.textWrites;
    c.selStart = c.selEnd = static_cast<int>(text.size());  // a rewrite moves the caret
}

void FakeDialogBackend::LimitText(int id, int maxChars) {
    controls[id].limit = maxChars;
}
bool FakeDialogBackend::GetCheck(int id) {
    return controls[id].checked;
}
// Every push to the controls sets the button's state, so this also marks the pushes.
void FakeDialogBackend::SetCheck(int id, bool checked) {
    if (recording) calls.push_back(Call("SetCheck", id, checked));
    controls[id].checked = checked;
}

void FakeDialogBackend::SetReadOnly(int id, bool readOnly) {
    if (recording) calls.push_back(Call("SetReadOnly", id, readOnly));
    controls[id].readOnly = readOnly;
}

void FakeDialogBackend::SetSel(int id, int start, int end) {
    if (recording) calls.push_back(Call("SetSel", start, end));
    FakeControl& c = controls[id];
    const int len = static_cast<int>(c.text.size());
    c.selStart = std::min(start, len);
    c.selEnd = std::min(end, len);
}

void FakeDialogBackend::SetFocus(int id) {
    if (recording) calls.push_back(Call("SetFocus", id));
    focus = id;
    if (id == IDC_LYRIC_EDIT) owner_.OnCommand(IDC_LYRIC_EDIT, kEnSetFocus);
}

void FakeDialogBackend::SetWindowText(const std::string& text) {
    if (recording) calls.push_back("SetWindowText(" + text + ")");
    title = text;
}

int FakeDialogBackend::MessageBox(const std::string& text, const std::string& caption,
                                  unsigned type) {
    if (recording) calls.push_back("MessageBox(" + text + ")");
    boxes.push_back({text, caption, type});
    return kIdOk;
}

bool FakeDialogBackend::AppendSystemMenuItem(unsigned command, const std::string& text) {
    systemMenu.emplace_back(command, text);
    return true;
}

void FakeDialogBackend::DefaultSysCommand(unsigned command, long param) {
    if (recording) calls.push_back(Call("DefaultSysCommand", static_cast<long>(command), param));
}

std::string FakeDialogBackend::LoadString(unsigned id) {
    return id == IDS_ABOUTBOX ? STROFIX_ABOUT_ITEM_TEXT : "";
}

IconHandle FakeDialogBackend::LoadIcon(unsigned /*id*/) {
    return &g_icon;
}

void FakeDialogBackend::SetIcon(IconHandle /*icon*/, bool big) {
    if (recording) calls.push_back(Call("SetIcon", big));
}

void FakeDialogBackend::GetClientSize(int* width, int* height) {
    *width = 160;
    *height = 27;
}

void FakeDialogBackend::GetIconMetrics(int* width, int* height) {
    *width = 32;
    *height = 32;
}

void FakeDialogBackend::PaintIconic(IconHandle /*icon*/, int x, int y) {
    paintX = x;
    paintY = y;
}

void FakeDialogBackend::Type(int id, const std::string& text) {
    FakeControl& c = controls[id];
    if (c.readOnly) return;
    c.text =
        c.limit >= 0 && static_cast<int>(text.size()) > c.limit ? text.substr(0, c.limit) : text;
}

void FakeDialogBackend::Click(int id) {
    if (id == IDC_OPTIONS) controls[id].checked = !controls[id].checked;
    owner_.OnCommand(id, kBnClicked);
}

bool FakeDialogBackend::Tick(unsigned id) {
    if (timers.count(id) == 0) return false;
    owner_.OnTimer(id);
    return true;
}
