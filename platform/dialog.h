// The dialog framework Strofix is written against: a modal dialog base with timers,
// data exchange with its controls, and handlers named after the window messages they
// answer. The portable classes forward every window operation to a DialogBackend; one
// backend per platform (Qt, Win32, and a recording one for tests) is chosen in CMake.
// No platform types appear here.
#pragma once

#include <memory>
#include <string>

// Command and notification codes, with the values the Win32 messages carry.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kBnClicked = 0;
constexpr int kEnSetFocus = 0x0100;
constexpr unsigned kMbOk = 0;
constexpr unsigned kScMask = 0xFFF0;

using IconHandle = void*;  // an opaque icon of the backend

class CDialog;

// What a platform provides for one dialog. Control operations take the control's
// identifier from the template.
class DialogBackend {
public:
    virtual ~DialogBackend() = default;

    // Creates the window from its template, sends the initialisation to the owner, runs
    // the modal loop until EndDialog, destroys the window and returns EndDialog's result.
    virtual int RunModal() = 0;
    virtual void EndDialog(int result) = 0;

    virtual void SetTimer(unsigned id, unsigned periodMs) = 0;
    virtual void KillTimer(unsigned id) = 0;

    virtual std::string GetItemText(int id) = 0;
    // Rewrites the control's text only when it differs, so an unchanged text keeps its
    // selection and caret.
    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual void LimitText(int id, int maxChars) = 0;
    virtual bool GetCheck(int id) = 0;
    virtual void SetCheck(int id, bool checked) = 0;
    virtual void SetReadOnly(int id, bool readOnly) = 0;
    virtual void SetSel(int id, int start, int end) = 0;
    // Moves the keyboard focus; the control's focus notification is delivered to the
    // owner before this returns.
    virtual void SetFocus(int id) = 0;

    virtual void SetWindowText(const std::string& text) = 0;
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned type) = 0;

    // Appends a separator and a text item with `command` to the window menu. False when
    // the window has no such menu.
    virtual bool AppendSystemMenuItem(unsigned command, const std::string& text) = 0;
    virtual void DefaultSysCommand(unsigned command, long param) = 0;
    virtual std::string LoadString(unsigned id) = 0;
    virtual IconHandle LoadIcon(unsigned id) = 0;
    virtual void SetIcon(IconHandle icon, bool big) = 0;
    virtual bool IsIconic() = 0;
    virtual void GetClientSize(int* width, int* height) = 0;
    virtual void GetIconMetrics(int* width, int* height) = 0;
    // Paints the minimised window: erases the background, then draws the icon at x, y.
    virtual void PaintIconic(IconHandle icon, int x, int y) = 0;
    virtual void DefaultPaint() = 0;
};

// Made by the backend chosen in CMake.
std::unique_ptr<DialogBackend> CreateDialogBackend(CDialog& owner, int templateId, CDialog* parent);

// The exchange between members and controls, in the direction `saveAndValidate` says:
// true reads the controls into the members, false pushes the members to the controls.
struct CDataExchange {
    CDialog* dlg;
    bool saveAndValidate;
    int lastTextId = 0;  // the control DDV_MaxChars applies to
};

// A control bound to a dialog by its identifier.
class CWndControl {
public:
    int GetDlgCtrlID() const { return id_; }
    void Attach(CDialog* dlg, int id) {
        dlg_ = dlg;
        id_ = id;
    }
    void SetFocus();

protected:
    CDialog* dlg_ = nullptr;
    int id_ = 0;
};

class CEdit : public CWndControl {
public:
    void SetReadOnly(bool readOnly);
    void SetSel(int start, int end);
};

class CButton : public CWndControl {};

void DDX_Control(CDataExchange* dx, int id, CWndControl& control);
void DDX_Text(CDataExchange* dx, int id, std::string& value);
void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maxChars);
void DDX_Check(CDataExchange* dx, int id, int& value);

class CDialog {
public:
    explicit CDialog(int templateId, CDialog* parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    int DoModal();
    void EndDialog(int result);
    bool UpdateData(bool saveAndValidate = true);

    // Message handlers; the backend calls them as the messages arrive.
    virtual bool OnInitDialog();  // pushes the members to the controls
    virtual void OnTimer(unsigned timerId);
    virtual void OnCommand(int id, int notifyCode);  // OK and Cancel end the dialog
    virtual void OnSysCommand(unsigned command, long param);
    virtual void OnPaint();
    virtual IconHandle OnQueryDragIcon();
    virtual void OnOK();
    virtual void OnCancel();

    // Window operations.
    void SetTimer(unsigned id, unsigned periodMs);
    void KillTimer(unsigned id);
    void SetWindowText(const std::string& text);
    int MessageBox(const std::string& text, const std::string& caption, unsigned type = kMbOk);
    DialogBackend& Backend() { return *backend_; }

protected:
    virtual void DoDataExchange(CDataExchange* dx);

private:
    std::unique_ptr<DialogBackend> backend_;
};
