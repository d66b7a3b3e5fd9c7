// CTransferProgressDlg: the modal window in front of the main dialog while a transfer runs; asks its
// owner to start the transfer at its first paint and ends only when told; Windows side.
#pragma once

#include "ui/framework/AfxWin.h"

// The transfer handshake between the progress dialog, its owner and the engine's callback.
constexpr UINT WM_TRANSFER_START = WM_USER + 1000;  // dialog -> owner, sent once at the first paint
constexpr UINT WM_TRANSFER_END = WM_USER + 1001;    // owner -> dialog, posted; wParam IDOK or IDCANCEL
constexpr UINT WM_TRANSFER_NOTIFY = WM_USER + 1002; // engine callback -> owner; wParam event, lParam value

class CTransferProgressDlg : public CDialog {
public:
    // What it shows is given here: the caption (when not empty) and the status line.
    CTransferProgressDlg(CWnd* pParent, const CString& title, const CString& status);

    void SetPos(int position) const; // passed to the bar as it is

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override {}     // neither Enter,
    void OnCancel() override {} // Escape nor the close command ends a transfer
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void OnPaint();

    CProgressCtrl m_progress;
    CString m_strStatus;
    int m_bStartSent = 0;
    CString m_strTitle; // the caption, when not empty
    int m_nRange = 100;
};
