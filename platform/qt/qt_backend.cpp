#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <iterator>
#include <memory>

#include "platform/win_app.h"
#include "res/resource.h"

namespace {

// Identifier of controls the owner never addresses (static texts and pictures).
constexpr int kStaticId = -1;
// The icon sizes of the icon resource and of a minimised window's icon.
constexpr int kLargeIconSize = 32;
// The window menu item the F1 key stands for.
constexpr int kF1ItemIndex = 0;

enum class Kind { Edit, CheckPushButton, PushButton, DefPushButton, Text, Icon };

struct ControlTemplate {
    int id;
    Kind kind;
    const char* text;
    const char* objectName;
    int x, y, w, h;  // dialog units
};

struct DialogTemplate {
    int id;
    const char* caption;
    const char* objectName;
    int w, h;                // dialog units, client area
    bool applicationWindow;  // a normal top-level window with a minimise box, on the task bar
    const ControlTemplate* controls;
    int controlCount;
};

// Controls in tab order.
const ControlTemplate kMainControls[] = {
    {IDC_LYRIC_EDIT, Kind::Edit, "", "lyricEdit", LYRIC_EDIT_X, LYRIC_EDIT_Y, LYRIC_EDIT_W,
     LYRIC_EDIT_H},
    {IDC_OPTIONS, Kind::CheckPushButton, STROFIX_OPTIONS_TEXT, "optionsButton", OPTIONS_X,
     OPTIONS_Y, OPTIONS_W, OPTIONS_H},
};

const ControlTemplate kAboutControls[] = {
    {kStaticId, Kind::Icon, "", "aboutIcon", ABOUT_ICON_X, ABOUT_ICON_Y, ABOUT_ICON_W,
     ABOUT_ICON_H},
    {kStaticId, Kind::Text, STROFIX_PRODUCT_TEXT, "productText", ABOUT_PRODUCT_X, ABOUT_PRODUCT_Y,
     ABOUT_PRODUCT_W, ABOUT_PRODUCT_H},
    {kStaticId, Kind::Text, STROFIX_NOTICE_TEXT, "noticeText", ABOUT_NOTICE_X, ABOUT_NOTICE_Y,
     ABOUT_NOTICE_W, ABOUT_NOTICE_H},
    {kIdOk, Kind::DefPushButton, STROFIX_OK_TEXT, "okButton", ABOUT_OK_X, ABOUT_OK_Y, ABOUT_OK_W,
     ABOUT_OK_H},
};

const DialogTemplate kTemplates[] = {
    {IDD_MAIN_DIALOG, STROFIX_APP_TITLE, "lyricsDialog", MAIN_DLG_W, MAIN_DLG_H, true,
     kMainControls, static_cast<int>(std::size(kMainControls))},
    {IDD_ABOUTBOX, STROFIX_ABOUT_TITLE, "aboutDialog", ABOUT_DLG_W, ABOUT_DLG_H, false,
     kAboutControls, static_cast<int>(std::size(kAboutControls))},
};

const DialogTemplate* FindTemplate(int id) {
    for (const DialogTemplate& t : kTemplates) {
        if (t.id == id) return &t;
    }
    return nullptr;
}

const char* const kControlIdProperty = "strofixControlId";

int ControlIdOf(const QObject* object) {
    const QVariant v = object->property(kControlIdProperty);
    return v.isValid() ? v.toInt() : kStaticId;
}

// A message box's OK button, in dialog units, as the Windows dialog manager sizes it.
constexpr int kMessageButtonW = 50;
constexpr int kMessageButtonH = 14;
// Beside its caption a window manager's title bar holds the window icon and up to three
// buttons (a box asks for a close button only, but not every window manager obeys), each
// about a square as tall as the bar; one more square stands for the label's and the
// frame's padding.
constexpr int kTitleBarSquares = 5;
constexpr int kTitleTextPadding = 8;  // above and below the caption's line, together

// The width a window needs so that a title bar shows its whole caption.
int CaptionRoom(const QString& caption) {
    QFont title = QApplication::font();  // title bars use the desktop's font, not ours
    title.setBold(true);
    const QFontMetrics metrics(title);
    const int bar = metrics.height() + kTitleTextPadding;
    return metrics.horizontalAdvance(caption) + kTitleBarSquares * bar;
}

// The pressed look of a checkable button, as plain as the pressed button of Windows: the
// selection colours of the palette while it is checked, its own colours otherwise.
void ShowCheckedLook(QPushButton* button, bool checked) {
    if (!checked) {
        button->setPalette(QPalette());
        return;
    }
    QPalette pressed = button->parentWidget()->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        pressed.setColor(group, QPalette::Button, pressed.color(group, QPalette::Highlight));
        pressed.setColor(group, QPalette::ButtonText,
                         pressed.color(group, QPalette::HighlightedText));
    }
    button->setPalette(pressed);
}

// Windows' MulDiv for the non-negative values a layout uses: a * b / c, rounded.
int MulDiv(int a, int b, int c) {
    return (a * b + c / 2) / c;
}

}  // namespace

// The window of one running dialog: keys, the close box and the window menu go to the
// backend, which turns them into the owner's commands.
class QtDialogWindow : public QDialog {
public:
    QtDialogWindow(QtDialogBackend& backend, QWidget* parent)
        : QDialog(parent), backend_(backend) {}

    void reject() override { backend_.OnClose(); }
    void accept() override {
        bool handled = false;
        backend_.OnKey(Qt::Key_Return, &handled);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
        bool handled = false;
        if (mods == Qt::NoModifier) backend_.OnKey(event->key(), &handled);
        // Past QDialog's own Enter and Escape handling: those keys are the owner's commands.
        if (!handled) QWidget::keyPressEvent(event);  // NOLINT(bugprone-parent-virtual-call)
    }
    void closeEvent(QCloseEvent* event) override {
        event->ignore();  // only EndDialog ends the dialog
        backend_.OnClose();
    }
    void contextMenuEvent(QContextMenuEvent* event) override {
        backend_.ShowWindowMenu(nullptr, event->globalPos());
    }

private:
    QtDialogBackend& backend_;
};

namespace {

// Watches the controls' focus changes and the lyric field's context menu.
class ControlWatcher : public QObject {
public:
    ControlWatcher(QtDialogBackend& backend, QObject* parent)
        : QObject(parent), backend_(backend) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        const int id = ControlIdOf(watched);
        switch (event->type()) {
            case QEvent::FocusIn: {
                bool swallow = false;
                backend_.OnControlFocusIn(id, static_cast<QFocusEvent*>(event)->reason(), &swallow);
                return swallow;
            }
            case QEvent::FocusOut:
                backend_.OnControlFocusOut(id, static_cast<QFocusEvent*>(event)->reason());
                return false;
            case QEvent::ContextMenu:
                if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
                    std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
                    backend_.ShowWindowMenu(menu.get(),
                                            static_cast<QContextMenuEvent*>(event)->globalPos());
                    return true;
                }
                return false;
            default:
                return false;
        }
    }

private:
    QtDialogBackend& backend_;
};

}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width / 26 + 1) / 2, metrics.height()};
}

int DluToPixelsX(int dlu, const DialogBaseUnits& base) {
    return MulDiv(dlu, base.x, 4);
}

int DluToPixelsY(int dlu, const DialogBaseUnits& base) {
    return MulDiv(dlu, base.y, 8);
}

QFont DialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(STROFIX_DIALOG_FONT_POINTS);
    return font;
}

QString FromAnsi(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToAnsi(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

std::unique_ptr<DialogBackend> CreateDialogBackend(CDialog& owner, int templateId,
                                                   CDialog* parent) {
    return std::make_unique<QtDialogBackend>(owner, templateId, parent);
}

QtDialogBackend* QtBackendOf(CDialog& dlg) {
    return dynamic_cast<QtDialogBackend*>(&dlg.Backend());
}

QtDialogBackend::QtDialogBackend(CDialog& owner, int templateId, CDialog* parent)
    : owner_(owner), templateId_(templateId), parent_(parent) {}

QtDialogBackend::~QtDialogBackend() {
    delete window_;
}

QDialog* QtDialogBackend::Window() const {
    return window_;
}

QWidget* QtDialogBackend::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

// The owner window: the parent dialog's, or else the application's main window's, as a
// dialog made without a parent is owned by the main window.
QWidget* QtDialogBackend::ParentWindow() const {
    CDialog* parent = parent_;
    if (parent == nullptr && AfxGetApp() != nullptr && AfxGetApp()->m_pMainWnd != &owner_) {
        parent = AfxGetApp()->m_pMainWnd;
    }
    if (parent != nullptr) {
        if (QtDialogBackend* backend = QtBackendOf(*parent)) return backend->Window();
    }
    return nullptr;
}

void QtDialogBackend::BuildWindow() {
    const DialogTemplate& t = *FindTemplate(templateId_);
    QWidget* parent = t.applicationWindow ? nullptr : ParentWindow();
    if (parent == nullptr && !t.applicationWindow) parent = QApplication::activeWindow();

    window_ = new QtDialogWindow(*this, parent);
    window_->setObjectName(QString::fromLatin1(t.objectName));
    window_->setWindowTitle(FromAnsi(t.caption));
    if (t.applicationWindow) {
        window_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                Qt::WindowCloseButtonHint);
    } else {
        window_->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    }
    const QFont font = DialogFont();
    window_->setFont(font);
    const DialogBaseUnits base = BaseUnitsOf(font);
    window_->setFixedSize(DluToPixelsX(t.w, base), DluToPixelsY(t.h, base));

    auto* watcher = new ControlWatcher(*this, window_);
    QWidget* previous = nullptr;
    for (int i = 0; i < t.controlCount; ++i) {
        const ControlTemplate& c = t.controls[i];
        QWidget* widget = nullptr;
        const QString text = FromAnsi(c.text);
        switch (c.kind) {
            case Kind::Edit: {
                auto* edit = new QLineEdit(text, window_);
                edit->setAlignment(Qt::AlignCenter);
                edit->setReadOnly(true);
                widget = edit;
                break;
            }
            case Kind::CheckPushButton:
            case Kind::PushButton:
            case Kind::DefPushButton: {
                auto* button = new QPushButton(text, window_);
                button->setCheckable(c.kind == Kind::CheckPushButton);
                if (button->isCheckable()) {
                    QObject::connect(button, &QAbstractButton::toggled, button,
                                     [button](bool on) { ShowCheckedLook(button, on); });
                }
                // Enter belongs to the dialog's default command, not to whichever button
                // has the focus.
                button->setAutoDefault(c.kind == Kind::DefPushButton);
                button->setDefault(c.kind == Kind::DefPushButton);
                const int id = c.id;
                QObject::connect(button, &QAbstractButton::clicked, window_,
                                 [this, id] { OnButtonClicked(id); });
                widget = button;
                break;
            }
            case Kind::Text: {
                auto* label = new QLabel(text, window_);
                label->setTextFormat(Qt::PlainText);
                label->setWordWrap(true);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                widget = label;
                break;
            }
            case Kind::Icon: {
                // A static icon takes the icon's own size, whatever the template says.
                auto* label = new QLabel(window_);
                label->setPixmap(
                    static_cast<QIcon*>(LoadIcon(IDR_MAINFRAME))->pixmap(kLargeIconSize));
                label->setFixedSize(kLargeIconSize, kLargeIconSize);
                label->move(DluToPixelsX(c.x, base), DluToPixelsY(c.y, base));
                widget = label;
                break;
            }
        }
        widget->setObjectName(QString::fromLatin1(c.objectName));
        widget->setProperty(kControlIdProperty, c.id);
        if (c.kind != Kind::Icon) {
            widget->setGeometry(DluToPixelsX(c.x, base), DluToPixelsY(c.y, base),
                                DluToPixelsX(c.w, base), DluToPixelsY(c.h, base));
        }
        if (c.id != kStaticId) {
            widget->installEventFilter(watcher);
            controls_[c.id] = widget;
            if (previous != nullptr) QWidget::setTabOrder(previous, widget);
            previous = widget;
        } else {
            widget->setFocusPolicy(Qt::NoFocus);
        }
    }
}

void QtDialogBackend::CenterWindow() {
    const QSize size = window_->size();
    QRect area;
    if (QWidget* parent = window_->parentWidget(); parent != nullptr && parent->isVisible()) {
        area = parent->frameGeometry();
    } else {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) return;
        area = screen->availableGeometry();
    }
    window_->move(area.center().x() - size.width() / 2, area.center().y() - size.height() / 2);
}

int QtDialogBackend::RunModal() {
    if (window_ != nullptr || FindTemplate(templateId_) == nullptr) return -1;
    ended_ = false;
    result_ = -1;
    focusId_ = 0;
    BuildWindow();
    running_.push_back(this);

    // Like the dialog manager: true from the initialisation gives the focus to the
    // first control that takes it.
    if (owner_.OnInitDialog() && !ended_) {
        const DialogTemplate& t = *FindTemplate(templateId_);
        for (int i = 0; i < t.controlCount; ++i) {
            if (t.controls[i].id != kStaticId) {
                SetFocus(t.controls[i].id);
                break;
            }
        }
    }
    if (!ended_) {
        CenterWindow();
        // A new dialog comes up active, with the keyboard, as on Windows.
        window_->setWindowModality(Qt::ApplicationModal);
        window_->show();
        window_->activateWindow();
        window_->exec();
    }

    StopAllTimers();
    QtDialogWindow* window = window_;
    window_ = nullptr;
    controls_.clear();
    timers_.clear();
    menuItems_.clear();
    focusId_ = 0;
    delete window;
    running_.pop_back();
    if (running_.empty()) {
        quitRequested_ = false;  // the ending has reached its end
    } else {
        QueueContinueQuit();
    }
    return result_;
}

void QtDialogBackend::EndDialog(int result) {
    if (window_ == nullptr || ended_) return;
    ended_ = true;
    result_ = result;
    StopAllTimers();  // no tick reaches a dialog that has ended
    window_->QDialog::done(result);
}

void QtDialogBackend::StopAllTimers() {
    for (auto& [id, timer] : timers_) timer->stop();
}

void QtDialogBackend::SetTimer(unsigned id, unsigned periodMs) {
    if (window_ == nullptr || ended_) return;
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(window_);
        timer->setObjectName(QStringLiteral("timer%1").arg(id));
        QObject::connect(timer, &QTimer::timeout, window_, [this, id] { owner_.OnTimer(id); });
    }
    timer->start(static_cast<int>(periodMs));
}

void QtDialogBackend::KillTimer(unsigned id) {
    const auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

std::string QtDialogBackend::GetItemText(int id) {
    QWidget* w = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return ToAnsi(edit->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return ToAnsi(button->text());
    if (auto* label = qobject_cast<QLabel*>(w)) return ToAnsi(label->text());
    return std::string();
}

void QtDialogBackend::SetItemText(int id, const std::string& text) {
    const QString value = FromAnsi(text);
    QWidget* w = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (edit->text() != value) edit->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        if (button->text() != value) button->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->text() != value) label->setText(value);
    }
}

void QtDialogBackend::LimitText(int id, int maxChars) {
    // QLineEdit::setMaxLength resets the text (and so the selection) even when the limit
    // stays the same: set it only when it changes.
    if (auto* edit = qobject_cast<QLineEdit*>(Control(id))) {
        if (maxChars > 0 && edit->maxLength() != maxChars) edit->setMaxLength(maxChars);
    }
}

bool QtDialogBackend::GetCheck(int id) {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    return button != nullptr && button->isChecked();
}

void QtDialogBackend::SetCheck(int id, bool checked) {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    if (button != nullptr && button->isCheckable()) button->setChecked(checked);
}

void QtDialogBackend::SetReadOnly(int id, bool readOnly) {
    if (auto* edit = qobject_cast<QLineEdit*>(Control(id))) edit->setReadOnly(readOnly);
}

// Selects from `start` up to `end` (not included); the end past the text selects to the
// end, a negative start removes the selection.
void QtDialogBackend::SetSel(int id, int start, int end) {
    auto* edit = qobject_cast<QLineEdit*>(Control(id));
    if (edit == nullptr) return;
    const int length = static_cast<int>(edit->text().size());
    if (start < 0) {
        edit->deselect();
        return;
    }
    if (end < 0 || end > length) end = length;
    if (start > length) start = length;
    edit->setSelection(start, end - start);
}

void QtDialogBackend::SetFocus(int id) {
    QWidget* w = Control(id);
    if (w == nullptr) return;
    const bool changed = focusId_ != id;
    // Recorded before Qt moves the focus, so the FocusIn that follows (now, or when the
    // window becomes active) is known to be told already.
    focusId_ = id;
    w->setFocus(Qt::OtherFocusReason);
    if (changed && qobject_cast<QLineEdit*>(w) != nullptr) owner_.OnCommand(id, kEnSetFocus);
}

void QtDialogBackend::OnControlFocusIn(int id, Qt::FocusReason /*reason*/, bool* swallow) {
    *swallow = false;
    if (focusId_ == id) return;
    focusId_ = id;
    QWidget* w = Control(id);
    if (qobject_cast<QLineEdit*>(w) == nullptr) return;
    owner_.OnCommand(id, kEnSetFocus);
    // When the handler passed the focus on, the field has had its FocusOut already: keep
    // it from acting on a FocusIn that is no longer true.
    if (QApplication::focusWidget() != w) *swallow = true;
}

void QtDialogBackend::OnControlFocusOut(int id, Qt::FocusReason reason) {
    // A popup menu leaves the focus where it was, as the system menu does.
    if (reason == Qt::PopupFocusReason) return;
    if (focusId_ == id) focusId_ = 0;
}

void QtDialogBackend::OnKey(int key, bool* handled) {
    *handled = false;
    if (window_ == nullptr || ended_) return;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        *handled = true;
        owner_.OnCommand(kIdOk, kBnClicked);
    } else if (key == Qt::Key_Escape) {
        *handled = true;
        owner_.OnCommand(kIdCancel, kBnClicked);
    }
}

void QtDialogBackend::OnClose() {
    if (window_ == nullptr || ended_) return;
    owner_.OnCommand(kIdCancel, kBnClicked);
}

void QtDialogBackend::OnButtonClicked(int id) {
    if (window_ == nullptr || ended_) return;
    owner_.OnCommand(id, kBnClicked);
}

void QtDialogBackend::SetWindowText(const std::string& text) {
    if (window_ != nullptr) window_->setWindowTitle(FromAnsi(text));
}

// A box of its own rather than QMessageBox, whose width ignores the window manager's title
// bar, whose text sits beside the room of an icon it does not show and whose OK button
// carries a theme icon: the text centred, one OK button centred below it and no icon, and
// wide enough for the caption. Enter, Escape and the close box end it, with OK as always
// for a box with an OK button only.
int QtDialogBackend::MessageBox(const std::string& text, const std::string& caption,
                                unsigned /*type: OK only*/) {
    QDialog box(window_, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(FromAnsi(caption));
    box.setModal(true);

    auto* label = new QLabel(FromAnsi(text), &box);
    label->setObjectName(QStringLiteral("messageText"));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    auto* ok = new QPushButton(QStringLiteral(STROFIX_OK_TEXT), &box);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    const DialogBaseUnits base = BaseUnitsOf(box.font());
    ok->setFixedSize(DluToPixelsX(kMessageButtonW, base), DluToPixelsY(kMessageButtonH, base));
    QObject::connect(ok, &QAbstractButton::clicked, &box, &QDialog::accept);

    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(label);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    layout->activate();
    const QSize hint = box.sizeHint();
    box.setFixedSize(qMax(hint.width(), CaptionRoom(box.windowTitle())), hint.height());

    box_ = &box;
    box.exec();
    box_ = nullptr;
    QueueContinueQuit();
    return kIdOk;
}

bool QtDialogBackend::AppendSystemMenuItem(unsigned command, const std::string& text) {
    if (window_ == nullptr) return false;
    menuItems_.push_back({command, FromAnsi(text)});
    if (menuItems_.size() == kF1ItemIndex + 1) {
        auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), window_);
        f1->setObjectName(QStringLiteral("windowMenuShortcut"));
        f1->setContext(Qt::WindowShortcut);
        QObject::connect(f1, &QShortcut::activated, window_,
                         [this] { SendSysCommand(menuItems_[kF1ItemIndex].command); });
    }
    return true;
}

void QtDialogBackend::ShowWindowMenu(QMenu* base, const QPoint& globalPos) {
    if (window_ == nullptr || ended_ || menuItems_.empty()) {
        if (base != nullptr) base->exec(globalPos);
        QueueContinueQuit();
        return;
    }
    std::unique_ptr<QMenu> own;
    QMenu* menu = base;
    if (menu == nullptr) {
        own = std::make_unique<QMenu>(window_);
        menu = own.get();
    } else {
        menu->addSeparator();
    }
    menu->setObjectName(QStringLiteral("windowMenu"));
    std::map<QAction*, unsigned> ours;
    for (std::size_t i = 0; i < menuItems_.size(); ++i) {
        QString text = menuItems_[i].text;
        if (i == kF1ItemIndex) text += QStringLiteral("\tF1");
        ours[menu->addAction(text)] = menuItems_[i].command;
    }
    QAction* chosen = menu->exec(globalPos);
    QueueContinueQuit();
    const auto it = ours.find(chosen);
    if (it != ours.end()) SendSysCommand(it->second);
}

void QtDialogBackend::SendSysCommand(unsigned command) {
    if (window_ == nullptr || ended_) return;
    owner_.OnSysCommand(command, 0);
}

std::vector<QtDialogBackend*> QtDialogBackend::running_;
bool QtDialogBackend::quitRequested_ = false;
int QtDialogBackend::quitSignal_ = 0;

int QuitSignal() {
    return QtDialogBackend::QuitSignalOf();
}

void QtDialogBackend::RequestQuit(int signal) {
    if (running_.empty()) return;  // nothing runs: the program is on its way out already
    if (!quitRequested_) {
        quitRequested_ = true;
        quitSignal_ = signal;
    }
    ContinueQuit();
}

void QtDialogBackend::QueueContinueQuit() {
    if (quitRequested_) QTimer::singleShot(0, qApp, &QtDialogBackend::ContinueQuit);
}

void QtDialogBackend::ContinueQuit() {
    if (!quitRequested_ || running_.empty()) return;
    // Each of these has a loop of its own inside the dialog's: it ends first, and the
    // next step comes when its loop has returned.
    if (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        return;
    }
    QtDialogBackend* top = running_.back();
    if (top->box_ != nullptr) {
        top->box_->reject();
        return;
    }
    if (top->window_ == nullptr || top->ended_) return;
    top->owner_.OnCommand(kIdCancel, kBnClicked);
    if (!top->ended_) top->EndDialog(kIdCancel);  // a dialog that refused its Cancel
}

// Minimising, moving and closing are the window manager's business here.
void QtDialogBackend::DefaultSysCommand(unsigned /*command*/, long /*param*/) {}

std::string QtDialogBackend::LoadString(unsigned id) {
    return id == IDS_ABOUTBOX ? STROFIX_ABOUT_ITEM_TEXT : "";
}

IconHandle QtDialogBackend::LoadIcon(unsigned id) {
    if (id != IDR_MAINFRAME) return nullptr;
    if (icon_.isNull()) {
        icon_.addFile(QStringLiteral(":/strofix/strofix-32.png"), QSize(32, 32));
        icon_.addFile(QStringLiteral(":/strofix/strofix-16.png"), QSize(16, 16));
    }
    return &icon_;
}

void QtDialogBackend::SetIcon(IconHandle icon, bool /*big: one QIcon holds both sizes*/) {
    if (window_ != nullptr && icon != nullptr) window_->setWindowIcon(*static_cast<QIcon*>(icon));
}

bool QtDialogBackend::IsIconic() {
    return window_ != nullptr && window_->isMinimized();
}

void QtDialogBackend::GetClientSize(int* width, int* height) {
    *width = window_ != nullptr ? window_->width() : 0;
    *height = window_ != nullptr ? window_->height() : 0;
}

void QtDialogBackend::GetIconMetrics(int* width, int* height) {
    *width = kLargeIconSize;
    *height = kLargeIconSize;
}

// The window manager draws minimised windows: nothing to paint, and Qt paints the rest.
void QtDialogBackend::PaintIconic(IconHandle /*icon*/, int /*x*/, int /*y*/) {}
void QtDialogBackend::DefaultPaint() {}
