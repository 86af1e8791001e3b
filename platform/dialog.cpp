#include "platform/dialog.h"

void CWndControl::SetFocus() {
    dlg_->Backend().SetFocus(id_);
}
void CEdit::SetReadOnly(bool readOnly) {
    dlg_->Backend().SetReadOnly(id_, readOnly);
}
void CEdit::SetSel(int start, int end) {
    dlg_->Backend().SetSel(id_, start, end);
}

void DDX_Control(CDataExchange* dx, int id, CWndControl& control) {
    control.Attach(dx->dlg, id);
}

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
    dx->lastTextId = id;
    if (dx->saveAndValidate) {
        value = dx->dlg->Backend().GetItemText(id);
    } else {
        dx->dlg->Backend().SetItemText(id, value);
    }
}

// Limits what can be typed into the control last exchanged by DDX_Text. The limit is set
// on every push; the read needs no check since the control never holds more.
void DDV_MaxChars(CDataExchange* dx, const std::string& /*value*/, int maxChars) {
    if (!dx->saveAndValidate && dx->lastTextId != 0) {
        dx->dlg->Backend().LimitText(dx->lastTextId, maxChars);
    }
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    if (dx->saveAndValidate) {
        value = dx->dlg->Backend().GetCheck(id) ? 1 : 0;
    } else {
        dx->dlg->Backend().SetCheck(id, value != 0);
    }
}

CDialog::CDialog(int templateId, CDialog* parent)
    : backend_(CreateDialogBackend(*this, templateId, parent)) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
    return backend_->RunModal();
}
void CDialog::EndDialog(int result) {
    backend_->EndDialog(result);
}

bool CDialog::UpdateData(bool saveAndValidate) {
    CDataExchange dx{this, saveAndValidate};
    DoDataExchange(&dx);
    return true;
}

void CDialog::DoDataExchange(CDataExchange* /*dx*/) {}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnTimer(unsigned /*timerId*/) {}

void CDialog::OnCommand(int id, int /*notifyCode*/) {
    if (id == kIdOk) {
        OnOK();
    } else if (id == kIdCancel) {
        OnCancel();
    }
}

void CDialog::OnOK() {
    UpdateData(true);
    EndDialog(kIdOk);
}

void CDialog::OnCancel() {
    EndDialog(kIdCancel);
}

void CDialog::OnSysCommand(unsigned command, long param) {
    backend_->DefaultSysCommand(command, param);
}

void CDialog::OnPaint() {
    backend_->DefaultPaint();
}
IconHandle CDialog::OnQueryDragIcon() {
    return nullptr;
}

void CDialog::SetTimer(unsigned id, unsigned periodMs) {
    backend_->SetTimer(id, periodMs);
}
void CDialog::KillTimer(unsigned id) {
    backend_->KillTimer(id);
}
void CDialog::SetWindowText(const std::string& text) {
    backend_->SetWindowText(text);
}
int CDialog::MessageBox(const std::string& text, const std::string& caption, unsigned type) {
    return backend_->MessageBox(text, caption, type);
}
