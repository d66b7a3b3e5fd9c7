// A thin layer over Win32 with only what the setup dialogs use: the application object, modal dialogs
// with data exchange, control wrappers, fonts, file dialogs and message boxes; Windows side.
#pragma once

#include "platform/HandleOwner.h"
#include "ui/framework/AfxString.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

// A window handle and the calls the dialogs make on it. Wrappers of dialog controls are attached by
// DDX_Control and own nothing: the dialog destroys its controls.
class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL EnableWindow(BOOL enable = TRUE) const;
    void SetWindowText(const char* text) const;
    void GetWindowText(CString& text) const;
    HWND GetDlgItem(int id) const;
    HWND GetParent() const;
    HMENU GetSystemMenu() const;
    void SetIcon(HICON icon, BOOL big) const;
    BOOL IsIconic() const;
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs) const;
    BOOL KillTimer(UINT_PTR id) const;
    // The DPI the window is shown at: its monitor's where the system tells it, else the screen's.
    UINT GetDpi() const;
    // A control of a dialog whose font is its own: the system leaves that font alone when the dialog
    // moves to a monitor of another DPI (the dialog sets it itself then).
    void KeepOwnFontOnDpiChange() const;

    // Written by the window's thread: set when a dialog starts (WM_INITDIALOG), cleared after it has
    // ended. Another thread may read it only while the window's owner keeps that thread between the two.
    HWND m_hWnd = nullptr;
};

class CFont {
public:
    BOOL CreateFontIndirect(const LOGFONTA* description);
    operator HFONT() const { return static_cast<HFONT>(m_font.Get()); }

private:
    CGdiObject m_font;
};

class CButton : public CWnd {};

class CStatic : public CWnd {
public:
    void SetFont(const CFont& font, BOOL redraw = TRUE) const;
};

class CComboBox : public CWnd {
public:
    void ResetContent() const;
    int InsertString(int index, const char* text) const; // CB_ERR or CB_ERRSPACE on failure
    int SetItemData(int index, DWORD_PTR data) const;
    DWORD_PTR GetItemData(int index) const;
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index) const;
};

class CIPAddressCtrl : public CWnd {
public:
    void SetAddress(DWORD address) const;
    int GetAddress(DWORD& address) const; // the number of filled fields
};

class CProgressCtrl : public CWnd {
public:
    void SetRange(short lower, short upper) const;
    int SetPos(int position) const;
};

class CDialog;

// One pass of data exchange between a dialog's controls and its members.
class CDataExchange {
public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate; // TRUE: controls to members
};

void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Check(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, CString& value);

// A modal dialog on a template of the program's resources.
class CDialog : public CWnd {
public:
    // No parent: the dialog belongs to the modal dialog running at the time, if any.
    explicit CDialog(UINT templateId, CWnd* pParent = nullptr);

    virtual INT_PTR DoModal();
    void EndDialog(int result) const;
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // The window that owns message boxes and dialogs opened without a parent: the innermost running
    // modal dialog, or none.
    static HWND GetSafeOwner();

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    virtual BOOL OnInitDialog(); // exchanges data into the controls; TRUE: focus as the template says
    virtual void OnOK();         // IDOK: takes the controls back and ends with IDOK
    virtual void OnCancel();     // IDCANCEL, Escape and the close box: ends with IDCANCEL
    // Every other message: true when handled, with its result in *result.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    CDialog* m_pOuterModal = nullptr; // the modal dialog that ran when this one started
    static CDialog* s_pInnermostModal;
};

// The program's application object: exactly one exists, with static storage duration.
class CWinApp {
public:
    // No name: the application sets m_strAppName in InitInstance, before any message box.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return FALSE; } // FALSE: no message loop of the application's own
    virtual int ExitInstance() { return 0; }      // the process exit code

    CString m_strAppName; // caption of every message box
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

    // The program's life, called by its entry point: InitInstance, then ExitInstance, whose result it
    // returns. There is no message loop of the application's own: the main dialog's modal loop is it.
    int Run(HINSTANCE instance);
};

CWinApp* AfxGetApp();

// The full path of the program file, however long.
CString AfxGetModuleFileName();

// True for a lead byte of the system's ANSI code page.
bool AfxIsLeadByte(unsigned char byte);

// The DPI `window` is shown at: its monitor's where the system tells it, else the screen's.
UINT AfxGetDpiForWindow(HWND window);
// A system metric, and the frame that a window's styles add around its client area, at `dpi` where the
// system can tell them for a DPI (Windows 10 1607 on); else at the system's own DPI.
int AfxGetSystemMetricsForDpi(int index, UINT dpi);
void AfxAdjustWindowRectExForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi);

// A message box owned by the innermost modal dialog, captioned with the application's name.
int AfxMessageBox(const char* text, UINT type = MB_OK);
int AfxMessageBox(UINT stringId, UINT type = MB_OK);

// The common open and save dialogs.
class CFileDialog {
public:
    // `filter`: pairs of "description|pattern|", ended by "|"; `defaultExt` with or without its dot.
    CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName, DWORD flags,
                const char* filter, CWnd* pParent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    INT_PTR DoModal(); // IDOK or IDCANCEL
    CString GetPathName() const { return m_fileName; }

    OPENFILENAMEA m_ofn;

private:
    BOOL m_bOpenFileDialog;
    std::string m_filter;
    std::string m_defaultExt;
    char m_fileName[MAX_PATH];
    CWnd* m_pParentWnd;
};
