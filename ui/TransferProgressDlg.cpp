// CTransferProgressDlg: caption, status line and bar of a running transfer; Windows side.
#include "ui/TransferProgressDlg.h"

#include "ui/resource.h"

CTransferProgressDlg::CTransferProgressDlg(CWnd* pParent, const CString& title, const CString& status)
    : CDialog(IDD_TRANSFER_PROGRESS, pParent), m_strStatus(status), m_strTitle(title) {}

void CTransferProgressDlg::SetPos(int position) const {
    m_progress.SetPos(position);
}

void CTransferProgressDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_TRANSFER_PROGRESS, m_progress);
    DDX_Text(pDX, IDC_TRANSFER_STATUS, m_strStatus);
}

BOOL CTransferProgressDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_progress.SetRange(0, static_cast<short>(m_nRange));
    m_progress.SetPos(0);
    UpdateData(FALSE);
    if (!m_strTitle.IsEmpty()) {
        SetWindowText(m_strTitle);
    }
    return TRUE;
}

bool CTransferProgressDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
    if (message == WM_PAINT) {
        OnPaint();
        *result = 0;
        return true;
    }
    if (message == WM_TRANSFER_END) {
        EndDialog(static_cast<int>(wParam));
        *result = 0;
        return true;
    }
    return false;
}

void CTransferProgressDlg::OnPaint() {
    PAINTSTRUCT paint;
    ::BeginPaint(m_hWnd, &paint);
    ::EndPaint(m_hWnd, &paint);
    if (m_bStartSent != 0) {
        return;
    }
    // Set before the send: the owner may show a message box, which repaints this window meanwhile.
    m_bStartSent = 1;
    HWND owner = GetParent();
    if (owner != nullptr) {
        ::SendMessageA(owner, WM_TRANSFER_START, 0, 0);
    }
}
