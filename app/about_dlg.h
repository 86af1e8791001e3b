// The About box: icon, product name, a two-line notice and OK. Nothing is read from it.
#pragma once

#include "platform/dialog.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
