// CDialog: a modal dialog on a resource template, its message dispatch and data exchange; Windows side.
#include "ui/framework/AfxWin.h"

CDialog* CDialog::s_pInnermostModal = nullptr;

CDialog::CDialog(UINT templateId, CWnd* pParent) : m_nIDTemplate(templateId), m_pParentWnd(pParent) {}

HWND CDialog::GetSafeOwner() {
    return s_pInnermostModal != nullptr ? s_pInnermostModal->m_hWnd : nullptr;
}

INT_PTR CDialog::DoModal() {
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : GetSafeOwner();
    m_pOuterModal = s_pInnermostModal;
    const INT_PTR result = ::DialogBoxParamA(AfxGetApp()->m_hInstance, MAKEINTRESOURCEA(m_nIDTemplate), owner,
                                             DialogProc, reinterpret_cast<LPARAM>(this));
    s_pInnermostModal = m_pOuterModal;
    m_hWnd = nullptr;
    return result;
}

void CDialog::EndDialog(int result) const {
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) {
    return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* starting = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        starting->m_hWnd = window;
        s_pInnermostModal = starting;
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    return dialog != nullptr ? dialog->Dispatch(message, wParam, lParam) : FALSE;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return OnInitDialog();
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
        (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        LOWORD(wParam) == IDOK ? OnOK() : OnCancel();
        return TRUE;
    }
    LRESULT result = 0;
    if (!OnMessage(message, wParam, lParam, &result)) {
        return FALSE;
    }
    if (message == WM_QUERYDRAGICON) {
        return static_cast<INT_PTR>(result); // one of the messages whose result is the return value
    }
    ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}
