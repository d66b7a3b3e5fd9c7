// CAboutDlg: the about box, reached from the main dialog's system menu; Windows side.
#pragma once

#include "ui/framework/AfxWin.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
