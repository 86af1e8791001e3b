// The Win32 dialog backend: a modal dialog from the program's own template resource.
// Include after platform/win32/win32_api.h.
#pragma once

#include <string>

#include "platform/dialog.h"
#include "platform/win32/win32_api.h"

class Win32DialogBackend : public DialogBackend {
public:
    Win32DialogBackend(CDialog& owner, int templateId, CDialog* parent);
    ~Win32DialogBackend() override;
    Win32DialogBackend(const Win32DialogBackend&) = delete;
    Win32DialogBackend& operator=(const Win32DialogBackend&) = delete;

    // The backend of a dialog of this build (every dialog has this backend here).
    static Win32DialogBackend* Of(CDialog& dialog);
    // The dialog's window while its modal loop runs, else null.
    HWND Window() const { return hwnd_; }

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
    bool IsIconic() override;
    void GetClientSize(int* width, int* height) override;
    void GetIconMetrics(int* width, int* height) override;
    void PaintIconic(IconHandle icon, int x, int y) override;
    void DefaultPaint() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    HWND OwnerWindow() const;
    HWND Item(int id) const;

    CDialog& owner_;
    int templateId_;
    CDialog* parent_;
    HWND hwnd_ = nullptr;
    int dispatching_ = 0;       // depth of WM_SYSCOMMAND / WM_PAINT handlers running
    bool wantDefault_ = false;  // the running handler asked for the default processing
};
