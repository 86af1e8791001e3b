// The Win32 dialog backend: each CDialog is a real modal dialog made from its template
// by the system's dialog manager, and its window messages go to the owner's handlers.
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_backend.h"
#include "platform/win_app.h"

namespace {

HINSTANCE ModuleInstance() {
    return GetModuleHandleA(nullptr);
}

// The placement a dialog template asks for: true when it puts the dialog at 0, 0 without
// asking the dialog manager to centre it. Reads the classic and the extended header.
bool TemplateWantsCentring(int templateId) {
    HINSTANCE instance = ModuleInstance();
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5));
    if (found == nullptr) return false;
    HGLOBAL loaded = LoadResource(instance, found);
    const DWORD size = SizeofResource(instance, found);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    if (bytes == nullptr) return false;

    auto word = [&](DWORD at) -> unsigned {
        return at + 2 <= size ? static_cast<unsigned>(bytes[at] | (bytes[at + 1] << 8)) : 0xFFFFu;
    };
    auto dword = [&](DWORD at) -> DWORD {
        return word(at) | (static_cast<DWORD>(word(at + 2)) << 16);
    };

    const bool extended = word(0) == 1 && word(2) == 0xFFFF;
    // DLGTEMPLATEEX: version, signature, help id, extended style, style, count, x, y.
    // DLGTEMPLATE: style, extended style, count, x, y.
    const DWORD style = extended ? dword(12) : dword(0);
    const DWORD xAt = extended ? 18 : 10;
    if (xAt + 4 > size) return false;
    const auto x = static_cast<short>(word(xAt));
    const auto y = static_cast<short>(word(xAt + 2));
    return (style & DS_CENTER) == 0 && x == 0 && y == 0;
}

// Centres the window over its owner when the owner is showing, else over the work area of
// the screen it is on, keeping it inside that work area.
void CentreWindow(HWND hwnd) {
    RECT window{};
    GetWindowRect(hwnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;

    HMONITOR monitor = MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoA(monitor, &info)) area = info.rcWork;

    RECT around = area;
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &around);

    int x = around.left + ((around.right - around.left) - width) / 2;
    int y = around.top + ((around.bottom - around.top) - height) / 2;
    if (x + width > area.right) x = area.right - width;
    if (y + height > area.bottom) y = area.bottom - height;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string WindowText(HWND hwnd) {
    if (hwnd == nullptr) return {};
    const int length = GetWindowTextLengthA(hwnd);
    if (length <= 0) return {};
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    const int copied = GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()));
    return std::string(text.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
}

}  // namespace

Win32DialogBackend::Win32DialogBackend(CDialog& owner, int templateId, CDialog* parent)
    : owner_(owner), templateId_(templateId), parent_(parent) {}

Win32DialogBackend::~Win32DialogBackend() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

Win32DialogBackend* Win32DialogBackend::Of(CDialog& dialog) {
    return static_cast<Win32DialogBackend*>(&dialog.Backend());
}

// The owner of a dialog made without a parent is the application's main window, as long
// as that is open, else the window active on this thread.
HWND Win32DialogBackend::OwnerWindow() const {
    if (parent_ != nullptr) return Of(*parent_)->hwnd_;
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd != nullptr && app->m_pMainWnd != &owner_) {
        HWND main = Of(*app->m_pMainWnd)->hwnd_;
        if (main != nullptr) return main;
    }
    return GetActiveWindow();
}

int Win32DialogBackend::RunModal() {
    const INT_PTR result =
        DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(templateId_), OwnerWindow(),
                        &Win32DialogBackend::DialogProc, reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    return static_cast<int>(result);
}

INT_PTR CALLBACK Win32DialogBackend::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32DialogBackend*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
        if (TemplateWantsCentring(self->templateId_)) CentreWindow(hwnd);
        // TRUE lets the dialog manager give the focus to the first control with a tab stop.
        return self->owner_.OnInitDialog() ? TRUE : FALSE;
    }
    auto* self = reinterpret_cast<Win32DialogBackend*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (self == nullptr) return FALSE;
    return self->Dispatch(message, wParam, lParam);
}

INT_PTR Win32DialogBackend::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            owner_.OnTimer(static_cast<unsigned>(wParam));
            return TRUE;
        case WM_COMMAND:
            owner_.OnCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_SYSCOMMAND: {
            const bool outer = wantDefault_;
            wantDefault_ = false;
            ++dispatching_;
            owner_.OnSysCommand(static_cast<unsigned>(wParam), static_cast<long>(lParam));
            --dispatching_;
            const bool passOn = wantDefault_;
            wantDefault_ = outer;
            return passOn ? FALSE : TRUE;  // FALSE: the dialog manager does its default
        }
        case WM_PAINT: {
            const bool outer = wantDefault_;
            wantDefault_ = false;
            ++dispatching_;
            owner_.OnPaint();
            --dispatching_;
            const bool passOn = wantDefault_;
            wantDefault_ = outer;
            return passOn ? FALSE : TRUE;
        }
        case WM_QUERYDRAGICON:
            // One of the messages whose dialog-procedure result is the answer itself; null
            // lets the system choose.
            return reinterpret_cast<INT_PTR>(owner_.OnQueryDragIcon());
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
            hwnd_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

void Win32DialogBackend::EndDialog(int result) {
    if (hwnd_ != nullptr) ::EndDialog(hwnd_, result);
}

void Win32DialogBackend::SetTimer(unsigned id, unsigned periodMs) {
    if (hwnd_ != nullptr) ::SetTimer(hwnd_, id, periodMs, nullptr);
}

void Win32DialogBackend::KillTimer(unsigned id) {
    if (hwnd_ != nullptr) ::KillTimer(hwnd_, id);
}

HWND Win32DialogBackend::Item(int id) const {
    return hwnd_ != nullptr ? GetDlgItem(hwnd_, id) : nullptr;
}

std::string Win32DialogBackend::GetItemText(int id) {
    return WindowText(Item(id));
}

void Win32DialogBackend::SetItemText(int id, const std::string& text) {
    HWND item = Item(id);
    if (item == nullptr) return;
    if (WindowText(item) != text) SetWindowTextA(item, text.c_str());
}

void Win32DialogBackend::LimitText(int id, int maxChars) {
    if (HWND item = Item(id)) SendMessageA(item, EM_LIMITTEXT, static_cast<WPARAM>(maxChars), 0);
}

bool Win32DialogBackend::GetCheck(int id) {
    HWND item = Item(id);
    return item != nullptr && SendMessageA(item, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32DialogBackend::SetCheck(int id, bool checked) {
    if (HWND item = Item(id)) {
        SendMessageA(item, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void Win32DialogBackend::SetReadOnly(int id, bool readOnly) {
    if (HWND item = Item(id)) SendMessageA(item, EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
}

void Win32DialogBackend::SetSel(int id, int start, int end) {
    if (HWND item = Item(id)) {
        SendMessageA(item, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
    }
}

// The control's EN_SETFOCUS comes back through the dialog procedure while SetFocus runs.
void Win32DialogBackend::SetFocus(int id) {
    if (HWND item = Item(id)) ::SetFocus(item);
}

void Win32DialogBackend::SetWindowText(const std::string& text) {
    if (hwnd_ != nullptr) SetWindowTextA(hwnd_, text.c_str());
}

int Win32DialogBackend::MessageBox(const std::string& text, const std::string& caption,
                                   unsigned type) {
    return MessageBoxA(hwnd_ != nullptr ? hwnd_ : OwnerWindow(), text.c_str(), caption.c_str(),
                       type);
}

bool Win32DialogBackend::AppendSystemMenuItem(unsigned command, const std::string& text) {
    if (hwnd_ == nullptr) return false;
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (menu == nullptr) return false;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    return AppendMenuA(menu, MF_STRING, command, text.c_str()) != FALSE;
}

// Inside the window's own WM_SYSCOMMAND the dialog manager is told to carry on; called
// from anywhere else the default processing runs here.
void Win32DialogBackend::DefaultSysCommand(unsigned command, long param) {
    if (dispatching_ > 0) {
        wantDefault_ = true;
    } else if (hwnd_ != nullptr) {
        DefWindowProcA(hwnd_, WM_SYSCOMMAND, command, param);
    }
}

std::string Win32DialogBackend::LoadString(unsigned id) {
    char text[256];
    const int length = LoadStringA(ModuleInstance(), id, text, sizeof text);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

IconHandle Win32DialogBackend::LoadIcon(unsigned id) {
    return LoadIconA(ModuleInstance(), MAKEINTRESOURCEA(id));
}

void Win32DialogBackend::SetIcon(IconHandle icon, bool big) {
    if (hwnd_ != nullptr) {
        SendMessageA(hwnd_, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                     reinterpret_cast<LPARAM>(icon));
    }
}

bool Win32DialogBackend::IsIconic() {
    return hwnd_ != nullptr && ::IsIconic(hwnd_);
}

void Win32DialogBackend::GetClientSize(int* width, int* height) {
    RECT client{};
    if (hwnd_ != nullptr) GetClientRect(hwnd_, &client);
    *width = client.right - client.left;
    *height = client.bottom - client.top;
}

void Win32DialogBackend::GetIconMetrics(int* width, int* height) {
    *width = GetSystemMetrics(SM_CXICON);
    *height = GetSystemMetrics(SM_CYICON);
}

void Win32DialogBackend::PaintIconic(IconHandle icon, int x, int y) {
    if (hwnd_ == nullptr) return;
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(hwnd_, &paint);
    if (dc == nullptr) return;
    SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    DrawIcon(dc, x, y, static_cast<HICON>(icon));
    EndPaint(hwnd_, &paint);
}

// Inside the window's own WM_PAINT the dialog manager paints; elsewhere there is nothing
// to paint outside a paint cycle.
void Win32DialogBackend::DefaultPaint() {
    if (dispatching_ > 0) wantDefault_ = true;
}

std::unique_ptr<DialogBackend> CreateDialogBackend(CDialog& owner, int templateId,
                                                   CDialog* parent) {
    return std::make_unique<Win32DialogBackend>(owner, templateId, parent);
}
