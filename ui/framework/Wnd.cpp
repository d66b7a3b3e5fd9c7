// CWnd, the control wrappers, CFont and data exchange: thin calls on window handles; Windows side.
#include "ui/framework/AfxWin.h"

#include <string>

namespace {

constexpr int DEFAULT_DPI = 96;

// A function of user32.dll that older systems lack: null there.
template <typename Function>
Function User32Function(const char* name) {
    const FARPROC found = ::GetProcAddress(::GetModuleHandleA("user32.dll"), name);
    // Through void (*)(): the one function type that converts to any other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

} // namespace

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::EnableWindow(BOOL enable) const {
    return ::EnableWindow(m_hWnd, enable);
}

void CWnd::SetWindowText(const char* text) const {
    ::SetWindowTextA(m_hWnd, text);
}

void CWnd::GetWindowText(CString& text) const {
    std::string buffer(static_cast<std::size_t>(::GetWindowTextLengthA(m_hWnd)) + 1, '\0');
    const int length = ::GetWindowTextA(m_hWnd, &buffer[0], static_cast<int>(buffer.size()));
    buffer.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    text = buffer;
}

HWND CWnd::GetDlgItem(int id) const {
    return ::GetDlgItem(m_hWnd, id);
}

HWND CWnd::GetParent() const {
    return ::GetParent(m_hWnd);
}

HMENU CWnd::GetSystemMenu() const {
    return ::GetSystemMenu(m_hWnd, FALSE);
}

void CWnd::SetIcon(HICON icon, BOOL big) const {
    SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

BOOL CWnd::IsIconic() const {
    return ::IsIconic(m_hWnd);
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs) const {
    return ::SetTimer(m_hWnd, id, elapseMs, nullptr);
}

BOOL CWnd::KillTimer(UINT_PTR id) const {
    return ::KillTimer(m_hWnd, id);
}

UINT CWnd::GetDpi() const {
    return AfxGetDpiForWindow(m_hWnd);
}

UINT AfxGetDpiForWindow(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    if (dpi != 0) {
        return dpi;
    }
    const CWindowDC dc(window);
    const int pixelsPerInch = dc.Get() != nullptr ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
    return static_cast<UINT>(pixelsPerInch > 0 ? pixelsPerInch : DEFAULT_DPI);
}

int AfxGetSystemMetricsForDpi(int index, UINT dpi) {
    using GetMetricsFunction = int(WINAPI*)(int, UINT);
    static const auto getMetrics = User32Function<GetMetricsFunction>("GetSystemMetricsForDpi");
    return getMetrics != nullptr ? getMetrics(index, dpi) : ::GetSystemMetrics(index);
}

void AfxAdjustWindowRectExForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) {
    using AdjustFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = User32Function<AdjustFunction>("AdjustWindowRectExForDpi");
    if (adjust == nullptr || !adjust(rect, style, FALSE, exStyle, dpi)) {
        ::AdjustWindowRectEx(rect, style, FALSE, exStyle);
    }
}

void CWnd::KeepOwnFontOnDpiChange() const {
    constexpr int DISABLE_FONT_UPDATE = 1; // DCDC_DISABLE_FONT_UPDATE
    using SetBehaviourFunction = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehaviour =
        User32Function<SetBehaviourFunction>("SetDialogControlDpiChangeBehavior");
    if (setBehaviour != nullptr) {
        setBehaviour(m_hWnd, DISABLE_FONT_UPDATE, DISABLE_FONT_UPDATE);
    }
}

BOOL CFont::CreateFontIndirect(const LOGFONTA* description) {
    HFONT font = ::CreateFontIndirectA(description);
    if (font == nullptr) {
        return FALSE;
    }
    m_font.Reset(font);
    return TRUE;
}

void CStatic::SetFont(const CFont& font, BOOL redraw) const {
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(font)), redraw);
}

void CComboBox::ResetContent() const {
    SendMessage(CB_RESETCONTENT);
}

int CComboBox::InsertString(int index, const char* text) const {
    return static_cast<int>(
        SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
}

int CComboBox::SetItemData(int index, DWORD_PTR data) const {
    return static_cast<int>(
        SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
}

DWORD_PTR CComboBox::GetItemData(int index) const {
    return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index)));
}

int CComboBox::GetCount() const {
    return static_cast<int>(SendMessage(CB_GETCOUNT));
}

int CComboBox::GetCurSel() const {
    return static_cast<int>(SendMessage(CB_GETCURSEL));
}

int CComboBox::SetCurSel(int index) const {
    return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
}

void CIPAddressCtrl::SetAddress(DWORD address) const {
    SendMessage(IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
}

int CIPAddressCtrl::GetAddress(DWORD& address) const {
    return static_cast<int>(SendMessage(IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)));
}

void CProgressCtrl::SetRange(short lower, short upper) const {
    SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

int CProgressCtrl::SetPos(int position) const {
    return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)));
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    control.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(id);
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    HWND button = pDX->m_pDlgWnd->GetDlgItem(id);
    if (pDX->m_bSaveAndValidate) {
        value = ::SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    } else {
        ::SendMessageA(button, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
    CWnd edit;
    edit.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(id);
    if (pDX->m_bSaveAndValidate) {
        edit.GetWindowText(value);
    } else {
        edit.SetWindowText(value);
    }
}
