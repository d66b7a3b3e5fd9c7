// CSetupDlg, the window: start-up, data exchange, the controls and the configuration, the device poll,
// the caption, the about box and the quit question; Windows side.
#include "ui/SetupDlg.h"

#include "core/DebugPrint.h"
#include "core/NameCodec.h"
#include "ui/AboutDlg.h"
#include "ui/MessageStrings.h"
#include "ui/TransferProgressDlg.h"
#include "ui/logic/AppPath.h"
#include "ui/logic/ControlIds.h"
#include "ui/resource.h"

#include <iterator>
#include <string>

namespace {

constexpr UINT_PTR POLL_TIMER_ID = 1;
constexpr UINT POLL_PERIOD_MS = 100;
constexpr int MODEL_FONT_HEIGHT = 24; // pixels at the default 96 DPI
constexpr int DEFAULT_DPI = 96;

// `length` characters of `text` in the system's multibyte code page.
std::string Multibyte(const wchar_t* text, int length) {
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_ACP, 0, text, length, &bytes[0], size, nullptr, nullptr);
    }
    return bytes;
}

bool IsNameEdit(int id) {
    for (const TargetRowIds& ids : TARGET_ROW_IDS.Rows) {
        if (ids.Name == id) {
            return true;
        }
    }
    return false;
}

AddressInput ReadAddress(const CIPAddressCtrl& control) {
    DWORD address = 0;
    const int filled = control.GetAddress(address);
    return {address, filled};
}

} // namespace

CSetupDlg::CSetupDlg(const CAppSettings& settings, CWnd* pParent)
    : CDialog(IDD_SETUP_DIALOG, pParent),
      m_hIcon(::LoadIconA(AfxGetApp()->m_hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_nBaudRateChange(settings.BaudRateChange) {}

void CSetupDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_WRITE_DEVICE, m_btnWrite);
    DDX_Control(pDX, IDC_SAVE_SETUP, m_btnSave);
    DDX_Control(pDX, IDC_READ_DEVICE, m_btnRead);
    DDX_Control(pDX, IDC_LOAD_SETUP, m_btnLoad);
    DDX_Control(pDX, IDC_MODEL, m_stcModel);
    DDX_Control(pDX, IDC_STOPBITS, m_cmbStopBits);
    DDX_Control(pDX, IDC_PARITY, m_cmbParity);
    DDX_Control(pDX, IDC_BAUDRATE, m_cmbBaudRate);
    DDX_Control(pDX, IDC_GATEWAY, m_ipGateway);
    DDX_Control(pDX, IDC_SUBNETMASK, m_ipSubnetMask);
    DDX_Control(pDX, IDC_IPADDRESS, m_ipAddress);
    for (int i = 0; i < TARGET_COUNT; ++i) {
        const TargetRowIds& ids = TARGET_ROW_IDS.Rows[i];
        DDX_Check(pDX, ids.Check, m_rows[i].m_bEnable);
        DDX_Text(pDX, ids.Name, m_rows[i].m_strName);
        DDX_Control(pDX, ids.Address, m_rows[i].m_ipTarget);
    }
}

BOOL CSetupDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    HMENU menu = GetSystemMenu();
    CString about;
    if (menu != nullptr && about.LoadString(IDS_ABOUTBOX)) {
        ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, about);
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    if (!InitSetup()) {
        EndDialog(IDCANCEL); // the failing step has traced why; the user sees nothing
        return TRUE;
    }
    m_fit.Attach(m_hWnd);
    return TRUE;
}

BOOL CSetupDlg::InitSetup() {
    InitControls();
    SyncParams(FALSE);
    GetWindowText(m_strBaseTitle);
    if (m_nBaudRateChange == 0) {
        m_cmbBaudRate.EnableWindow(FALSE);
        m_cmbParity.EnableWindow(FALSE);
        m_cmbStopBits.EnableWindow(FALSE);
    }

    if (!m_detecter.Init()) {
        DebugPrint("%s", "WARNING: CCommPortDetecter.Init() failed\n");
        return FALSE;
    }
    if (!m_transfer.Init()) {
        DebugPrint("%s", "WARNING: CParamTransfer.Init() failed\n");
        return FALSE;
    }
    m_nTimerId = SetTimer(POLL_TIMER_ID, POLL_PERIOD_MS);
    if (m_nTimerId == 0) {
        DebugPrint("%s", "WARNING: SetTimer() failed\n");
        return FALSE;
    }
    CheckDevice();
    EnableDeviceButtons();
    return TRUE;
}

void CSetupDlg::InitControls() {
    m_stcModel.KeepOwnFontOnDpiChange();
    SetModelFont(GetDpi());

    FillCombo(m_cmbBaudRate, BAUD_RATE_ITEMS, std::size(BAUD_RATE_ITEMS));
    FillCombo(m_cmbParity, PARITY_ITEMS, std::size(PARITY_ITEMS));
    FillCombo(m_cmbStopBits, STOP_BITS_ITEMS, std::size(STOP_BITS_ITEMS));
    m_cmbParity.SetCurSel(0);
    m_cmbStopBits.SetCurSel(0);
    for (const TargetRowIds& ids : TARGET_ROW_IDS.Rows) {
        // Characters; OnNameChange keeps the bytes within the limit.
        ::SendDlgItemMessageA(m_hWnd, ids.Name, EM_LIMITTEXT, NAME_TEXT_MAX, 0);
    }
}

// The label keeps its size next to the dialog's font, which the system scales with the DPI.
void CSetupDlg::SetModelFont(UINT dpi) {
    LOGFONTA description = {};
    description.lfHeight = ::MulDiv(MODEL_FONT_HEIGHT, static_cast<int>(dpi), DEFAULT_DPI);
    description.lfWeight = FW_BOLD;
    description.lfCharSet = DEFAULT_CHARSET;
    if (m_fontModel.CreateFontIndirect(&description)) {
        m_stcModel.SetFont(m_fontModel, TRUE);
    }
}

// The edits of the common controls limit characters, and a double-byte character is one of them: a name
// must still fit NAME_TEXT_MAX bytes of the code page, so what is over is taken back as a byte limit would
// have refused it. The edit's text and caret are read as characters and measured in bytes.
bool CSetupDlg::OnNameChange(WPARAM wParam) {
    if (HIWORD(wParam) != EN_CHANGE || !IsNameEdit(LOWORD(wParam))) {
        return false;
    }
    HWND edit = GetDlgItem(LOWORD(wParam));
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(edit, &text[0], static_cast<int>(text.size()))));
    DWORD caret = 0;
    ::SendMessageW(edit, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    const std::string bytes = Multibyte(text.c_str(), static_cast<int>(text.size()));
    if (bytes.size() <= NAME_TEXT_MAX) {
        return true;
    }
    std::size_t caretBytes =
        Multibyte(text.c_str(), static_cast<int>(caret < text.size() ? caret : text.size())).size();
    const std::string fitted = FitNameText(bytes, &caretBytes, AfxIsLeadByte);
    ::SetWindowTextA(edit, fitted.c_str()); // comes back here, and fits
    const int caretCharacters =
        ::MultiByteToWideChar(CP_ACP, 0, fitted.c_str(), static_cast<int>(caretBytes), nullptr, 0);
    ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(caretCharacters), caretCharacters);
    return true;
}

bool CSetupDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (m_fit.OnMessage(message, wParam, lParam, result)) {
        return true;
    }
    switch (message) {
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam));
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    case WM_CLOSE:
        OnClose();
        return true;
    case WM_DESTROY:
        OnDestroy();
        return false; // the dialog's own clean-up follows
    case WM_TIMER:
        OnTimer();
        return false;
    case WM_COMMAND:
        return OnNameChange(wParam) || OnCommand(wParam);
    case WM_DPICHANGED:
        SetModelFont(LOWORD(wParam));
        return false; // the system scales and places the rest of the dialog
    case WM_TRANSFER_START:
        *result = OnStartTransfer();
        return true;
    case WM_TRANSFER_NOTIFY:
        *result = OnTransferNotify(wParam, lParam);
        return true;
    default:
        return false;
    }
}

bool CSetupDlg::OnSysCommand(UINT nID) {
    if ((nID & 0xFFF0) != IDM_ABOUTBOX) {
        return false; // Close and Alt+F4 come back as WM_CLOSE
    }
    CAboutDlg about;
    about.DoModal();
    return true;
}

bool CSetupDlg::OnPaint() {
    if (!IsIconic()) {
        return false;
    }
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
    return true;
}

void CSetupDlg::OnClose() {
    if (AfxMessageBox(IDS_QUIT_QUESTION, MB_YESNO | MB_ICONINFORMATION) == IDYES) {
        EndDialog(IDCANCEL);
    }
}

void CSetupDlg::OnDestroy() {
    m_fit.Detach();
    if (m_nTimerId != 0) {
        KillTimer(m_nTimerId);
        m_nTimerId = 0;
    }
    m_transfer.Stop();
}

void CSetupDlg::OnTimer() {
    if (m_pProgressDlg != nullptr) {
        return; // the poll pauses while a transfer runs
    }
    const int32_t wasPresent = m_bDevicePresent;
    CheckDevice();
    if (m_bDevicePresent != wasPresent) {
        EnableDeviceButtons();
    }
}

BOOL CSetupDlg::SyncParams(BOOL bFromControls) {
    return bFromControls ? TakeParams() : ShowParams();
}

BOOL CSetupDlg::ShowParams() {
    const ParamSet& params = *m_params.GetParam();
    SelectComboByData(m_cmbBaudRate, params.BaudRate); // a rate not in the list keeps the selection
    m_ipAddress.SetAddress(params.IPAddress);
    m_ipSubnetMask.SetAddress(params.SubnetMask);
    m_ipGateway.SetAddress(params.Gateway);
    for (int i = 0; i < TARGET_COUNT; ++i) {
        m_rows[i].m_bEnable = params.Target[i].Enable;
        m_rows[i].m_strName = DecodeName(params.Target[i].Name);
        m_rows[i].m_ipTarget.SetAddress(params.Target[i].Address);
    }
    UpdateData(FALSE);
    return TRUE;
}

BOOL CSetupDlg::TakeParams() {
    UpdateData(TRUE);
    FormInput input = ReadForm();
    const FormError error = StoreForm(input, m_params.GetParam(), AfxIsLeadByte);
    for (int i = 0; i < TARGET_COUNT; ++i) {
        m_rows[i].m_strName = input.Targets[i].Name; // trimmed; the edits keep what was typed
    }
    if (error.Message == UI_MSG_NONE) {
        return TRUE;
    }
    CString warning;
    warning.LoadString(MessageStringId(error.Message));
    if (error.Destination != 0) {
        warning = FormatNumberMessage(warning, error.Destination);
    }
    AfxMessageBox(warning, MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
}

FormInput CSetupDlg::ReadForm() {
    FormInput input{};
    input.HasBaudRate = GetComboData(m_cmbBaudRate, &input.BaudRate) != FALSE;
    input.IPAddress = ReadAddress(m_ipAddress);
    input.SubnetMask = ReadAddress(m_ipSubnetMask);
    input.Gateway = ReadAddress(m_ipGateway);
    for (int i = 0; i < TARGET_COUNT; ++i) {
        input.Targets[i] = {m_rows[i].m_bEnable, m_rows[i].m_strName.Str(),
                            ReadAddress(m_rows[i].m_ipTarget)};
    }
    return input;
}

void CSetupDlg::CheckDevice() {
    m_detecter.Detect(DEVICE_USB_VID, DEVICE_USB_PID);
    m_bDevicePresent = m_detecter.GetPortCount() != 0 ? 1 : 0;
}

void CSetupDlg::EnableDeviceButtons() {
    m_btnWrite.EnableWindow(m_bDevicePresent != 0);
    m_btnRead.EnableWindow(m_bDevicePresent != 0);
}

void CSetupDlg::UpdateTitle() {
    SetWindowText(FormatCaption(m_strBaseTitle, m_strFilePath, AfxIsLeadByte).c_str());
}

void CSetupDlg::FillCombo(const CComboBox& combo, const ComboItem* table, std::size_t count) {
    combo.ResetContent();
    for (std::size_t i = 0; i < count; ++i) {
        const int index = combo.InsertString(-1, table[i].Text);
        if (index >= 0) {
            combo.SetItemData(index, static_cast<DWORD_PTR>(table[i].Data));
        }
    }
}

void CSetupDlg::SelectComboByData(const CComboBox& combo, int32_t value) {
    const int count = combo.GetCount();
    for (int i = 0; i < count; ++i) {
        if (static_cast<int32_t>(combo.GetItemData(i)) == value) {
            combo.SetCurSel(i);
            return;
        }
    }
}

BOOL CSetupDlg::GetComboData(const CComboBox& combo, int32_t* value) {
    const int selected = combo.GetCurSel();
    if (selected == CB_ERR) {
        return FALSE;
    }
    *value = static_cast<int32_t>(combo.GetItemData(selected));
    return TRUE;
}
