// CWinApp, the program's entry point and message boxes; Windows side.
#include "ui/framework/AfxWin.h"

#include <string>

namespace {

CWinApp* g_pApp = nullptr;

// Modules paths are cut without a word when the buffer is short: grow it until the path fits.
std::string ModulePath() {
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::string path(size, '\0');
        const DWORD length = ::GetModuleFileNameA(nullptr, &path[0], size);
        if (length < size) {
            path.resize(length);
            return path;
        }
    }
    return std::string();
}

} // namespace

CWinApp::CWinApp(const char* appName) : m_strAppName(appName) {
    g_pApp = this;
}

CWinApp::~CWinApp() {
    g_pApp = nullptr;
}

CWinApp* AfxGetApp() {
    return g_pApp;
}

CString AfxGetModuleFileName() {
    return ModulePath();
}

bool AfxIsLeadByte(unsigned char byte) {
    return ::IsDBCSLeadByte(byte) != 0;
}

int CWinApp::Run(HINSTANCE instance) {
    m_hInstance = instance;
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_STANDARD_CLASSES | ICC_INTERNET_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    InitInstance();
    return ExitInstance();
}

int AfxMessageBox(const char* text, UINT type) {
    return ::MessageBoxA(CDialog::GetSafeOwner(), text, AfxGetApp()->m_strAppName, type);
}

int AfxMessageBox(UINT stringId, UINT type) {
    CString text;
    text.LoadString(stringId);
    return AfxMessageBox(text, type);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return AfxGetApp() != nullptr ? AfxGetApp()->Run(instance) : 1;
}
