// The Qt 6 Widgets dialog backend: builds a QDialog from one of Strofix's templates, laid
// out in dialog units converted with the dialog font's metrics, and turns the widgets'
// events into the owner's handlers the way the Windows dialog manager turns window
// messages into them.
#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog.h"

class QAction;
class QMenu;
class QTimer;
class QWidget;
class QtDialogWindow;

// Pixels of one dialog unit: the dialog font's average character width over 4 across and
// its height over 8 down, as Windows measures them.
struct DialogBaseUnits {
    int x;  // average character width in pixels
    int y;  // character height in pixels
};
DialogBaseUnits BaseUnitsOf(const QFont& font);
int DluToPixelsX(int dlu, const DialogBaseUnits& base);
int DluToPixelsY(int dlu, const DialogBaseUnits& base);

// The font every Strofix dialog is laid out with.
QFont DialogFont();

// Text crosses the Qt boundary in the locale's 8-bit encoding, both ways.
QString FromAnsi(const std::string& text);
std::string ToAnsi(const QString& text);

class QtDialogBackend : public DialogBackend {
public:
    QtDialogBackend(CDialog& owner, int templateId, CDialog* parent);
    ~QtDialogBackend() override;

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

    // The window while the dialog runs, else null.
    QDialog* Window() const;

    // Called by the window and its controls.
    void OnControlFocusIn(int id, Qt::FocusReason reason, bool* swallow);
    void OnControlFocusOut(int id, Qt::FocusReason reason);
    void OnKey(int key, bool* handled);
    void OnClose();
    void OnButtonClicked(int id);
    // The window menu: the items appended by AppendSystemMenuItem, after `base`'s own
    // items when there is a base menu (a control's standard one).
    void ShowWindowMenu(QMenu* base, const QPoint& globalPos);
    void SendSysCommand(unsigned command);

    // Starts ending every running dialog (see InstallQuitRouting); `signal` is the signal
    // that asked, or 0.
    static void RequestQuit(int signal);
    static int QuitSignalOf() { return quitSignal_; }

private:
    struct MenuItem {
        unsigned command;
        QString text;
    };

    void BuildWindow();
    QWidget* Control(int id) const;
    QWidget* ParentWindow() const;
    void CenterWindow();
    void StopAllTimers();
    // One step of a requested ending: closes the innermost menu or box, or cancels the
    // innermost dialog. Runs again whenever one of their loops has returned.
    static void ContinueQuit();
    static void QueueContinueQuit();

    CDialog& owner_;
    int templateId_;
    CDialog* parent_;
    QtDialogWindow* window_ = nullptr;
    std::map<int, QWidget*> controls_;
    std::map<unsigned, QTimer*> timers_;
    std::vector<MenuItem> menuItems_;
    QIcon icon_;
    bool ended_ = false;
    int result_ = -1;
    // The control that holds the focus as far as the owner was told: the focus
    // notification goes out when this changes to an edit control, never twice for one
    // change however the focus arrived (SetFocus, the Tab key, a click, reactivation).
    int focusId_ = 0;
    // The message box while it is open.
    QPointer<QDialog> box_;

    // The dialogs whose loops run, outermost first.
    static std::vector<QtDialogBackend*> running_;
    static bool quitRequested_;
    static int quitSignal_;
};

// The backend behind `dlg`, or null when the program was built with another one.
QtDialogBackend* QtBackendOf(CDialog& dlg);

// Ending the program from outside. After InstallQuitRouting, SIGTERM, SIGHUP and SIGINT
// (each unless it was ignored when the program started) and the application's Quit event
// (the session manager's "die", QCoreApplication::quit) end the running windows as their
// Cancel does, innermost first: an open menu or message box closes, then each dialog gets
// its Cancel command, so the main window's normal end runs and the settings are saved.
// A signal only writes to a pipe; whichever modal loop runs reads it. Safe to call again.
bool InstallQuitRouting();
// The signal that started the last such ending, 0 for none or for the Quit event.
int QuitSignal();
