// CSetupDlg, the four setup commands (load, read, save, write) and the transfer handshake with the
// progress dialog and the engine's worker thread; Windows side.
#include "ui/SetupDlg.h"

#include "ui/MessageStrings.h"
#include "ui/TransferProgressDlg.h"
#include "ui/resource.h"

namespace {

constexpr DWORD DONE_PAUSE_MS = 300; // the bar stands at 100 % a moment before the window goes

// The process's current directory, or nothing when it does not fit a path buffer.
CString CurrentDirectory() {
    char buffer[MAX_PATH];
    const DWORD length = ::GetCurrentDirectoryA(sizeof buffer, buffer);
    return length > 0 && length < sizeof buffer ? CString(buffer) : CString();
}

bool ChooseSetupFile(BOOL open, CString* path) {
    CString filter;
    CString extension;
    filter.LoadString(IDS_FILE_FILTER);
    extension.LoadString(IDS_FILE_DEFEXT);
    const DWORD flags = open ? OFN_FILEMUSTEXIST : OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    CFileDialog dialog(open, extension, nullptr, flags, filter);
    const CString directory = CurrentDirectory();
    dialog.m_ofn.lpstrInitialDir = directory.IsEmpty() ? nullptr : static_cast<const char*>(directory);
    if (dialog.DoModal() != IDOK) {
        return false;
    }
    *path = dialog.GetPathName();
    return true;
}

} // namespace

bool CSetupDlg::OnCommand(WPARAM wParam) {
    if (HIWORD(wParam) != BN_CLICKED) {
        return false;
    }
    switch (LOWORD(wParam)) {
    case IDC_LOAD_SETUP:
        OnLoadSetupFile();
        return true;
    case IDC_READ_DEVICE:
        OnReadFromDevice();
        return true;
    case IDC_SAVE_SETUP:
        OnSaveSetupFile();
        return true;
    case IDC_WRITE_DEVICE:
        OnWriteToDevice();
        return true;
    default:
        return false;
    }
}

void CSetupDlg::OnLoadSetupFile() {
    CString path;
    if (!ChooseSetupFile(TRUE, &path)) {
        return;
    }
    CParamFile loaded;
    if (!loaded.Load(path)) {
        AfxMessageBox(MessageStringId(LoadErrorMessage(loaded.FileError)), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    *m_params.GetParam() = *loaded.GetParam();
    SyncParams(FALSE);
    m_strFilePath = path;
    UpdateTitle();
    EnableDeviceButtons();
}

void CSetupDlg::OnReadFromDevice() {
    if (AfxMessageBox(IDS_READ_QUESTION, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
        return;
    }
    // A failed read leaves its record partly overwritten: only a completed one reaches m_params.
    CParamFile scratch;
    if (!RunTransfer(1, &scratch)) {
        return;
    }
    *m_params.GetParam() = *scratch.GetParam();
    SyncParams(FALSE);
    m_strFilePath.Empty();
    UpdateTitle();
    EnableDeviceButtons();
}

void CSetupDlg::OnSaveSetupFile() {
    if (!SyncParams(TRUE)) {
        return;
    }
    CString path;
    if (!ChooseSetupFile(FALSE, &path)) {
        return;
    }
    if (!m_params.Save(path)) {
        AfxMessageBox(IDS_ERR_FILE_SAVE, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    m_strFilePath = path;
    UpdateTitle();
}

void CSetupDlg::OnWriteToDevice() {
    if (!SyncParams(TRUE)) {
        return;
    }
    if (AfxMessageBox(IDS_WRITE_QUESTION, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
        return;
    }
    // The engine disables destinations that carry the device's own address in the record it sends;
    // that must not reach m_params or the controls.
    CParamFile copy;
    *copy.GetParam() = *m_params.GetParam();
    copy.FileError = m_params.FileError;
    if (RunTransfer(0, &copy)) {
        AfxMessageBox(IDS_WRITE_COMPLETED, MB_OK | MB_ICONINFORMATION);
    }
}

BOOL CSetupDlg::RunTransfer(int nMode, CParamFile* pParams) {
    if (m_bDevicePresent == 0) {
        AfxMessageBox(IDS_ERR_COMM, MB_OK | MB_ICONSTOP);
        return FALSE;
    }
    m_nTransferMode = nMode;
    m_pTransferParams = pParams;
    CString title;
    CString status;
    title.LoadString(IDS_TRANSFER_TITLE);
    status.LoadString(MessageStringId(TransferStatusMessage(nMode)));
    CTransferProgressDlg progress(this, title, status);
    m_pProgressDlg = &progress;
    const INT_PTR result = progress.DoModal();
    m_pProgressDlg = nullptr;
    m_pTransferParams = nullptr;
    return result == IDOK;
}

LRESULT CSetupDlg::OnStartTransfer() {
    if (m_pProgressDlg == nullptr) {
        return 0;
    }
    const int32_t wasPresent = m_bDevicePresent;
    CheckDevice();
    if (m_bDevicePresent != wasPresent) {
        EnableDeviceButtons();
    }
    if (m_detecter.GetPortCount() == 0) {
        AfxMessageBox(IDS_ERR_COMM, MB_OK | MB_ICONSTOP);
        m_pProgressDlg->PostMessage(WM_TRANSFER_END, IDCANCEL);
        return 0;
    }
    m_transfer.SetCallback(TransferNotifyProc, this);
    if (!m_transfer.Start(m_detecter.GetPort(0), m_nTransferMode, m_pTransferParams->GetParam())) {
        AfxMessageBox(IDS_ERR_RESOURCE, MB_OK | MB_ICONSTOP);
        m_pProgressDlg->PostMessage(WM_TRANSFER_END, IDCANCEL);
    }
    return 0;
}

// Worker thread, with the engine's callback lock held: hand the event over without waiting. m_hWnd was
// set before the engine started and is cleared only after OnDestroy stopped it.
int CSetupDlg::TransferNotifyProc(int32_t code, int32_t value, void* context) {
    HWND window = context != nullptr ? static_cast<CSetupDlg*>(context)->m_hWnd : nullptr;
    if (window == nullptr || !::IsWindow(window)) {
        return 0;
    }
    return ::SendNotifyMessageA(window, WM_TRANSFER_NOTIFY, static_cast<WPARAM>(code),
                                static_cast<LPARAM>(value));
}

LRESULT CSetupDlg::OnTransferNotify(WPARAM code, LPARAM value) {
    if (m_pProgressDlg == nullptr) {
        return 0; // late: the transfer has ended
    }
    switch (static_cast<int32_t>(code)) {
    case PT_EVENT_ERROR:
        m_transfer.Stop();
        AfxMessageBox(MessageStringId(TransferErrorMessage(m_transfer.GetResult())), MB_OK | MB_ICONSTOP);
        m_pProgressDlg->PostMessage(WM_TRANSFER_END, IDCANCEL);
        break;
    case PT_EVENT_PROGRESS:
        m_pProgressDlg->SetPos(static_cast<int>(value));
        break;
    case PT_EVENT_DONE:
        m_transfer.Stop();
        ::Sleep(DONE_PAUSE_MS);
        m_pProgressDlg->PostMessage(WM_TRANSFER_END, IDOK);
        break;
    default:
        break;
    }
    return 0;
}
