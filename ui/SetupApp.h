// CSetupApp: the program's application object; starts the trace log, loads the settings and runs the
// main dialog for the program's whole life; Windows side.
#pragma once

#include "persistence/Settings.h"
#include "ui/framework/AfxWin.h"

class CSetupApp : public CWinApp {
public:
    CSetupApp() = default;

    BOOL InitInstance() override;
    int ExitInstance() override;

    CString m_strAppDir; // the program file's directory, without a trailing backslash
    CAppSettings m_settings;
};

extern CSetupApp theApp;
