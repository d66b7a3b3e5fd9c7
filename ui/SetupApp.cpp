// CSetupApp: start-up and shut-down of the setup program; Windows side.
#include "ui/SetupApp.h"

#include "core/DebugPrint.h"
#include "ui/SetupDlg.h"
#include "ui/logic/AppPath.h"

CSetupApp theApp;

BOOL CSetupApp::InitInstance() {
    const CString modulePath = AfxGetModuleFileName();
    m_strAppName = ProgramNameOf(modulePath, AfxIsLeadByte);
    if (DebugPrintInit("ZRVLinkSetup") == 0) {
        return FALSE;
    }
    DebugPrint("%s", "DebugPrint start..\n");

    m_strAppDir = ModuleDirectory(modulePath, AfxIsLeadByte);
    m_settings.FileName = IniPathFor(modulePath, AfxIsLeadByte);
    m_settings.Load();

    CSetupDlg dialog(m_settings, nullptr);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

int CSetupApp::ExitInstance() {
    DebugPrintExit();
    return CWinApp::ExitInstance();
}
