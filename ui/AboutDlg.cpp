// CAboutDlg: the about box; OK, Enter, Escape and the close box all end it; Windows side.
#include "ui/AboutDlg.h"

#include "ui/resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
