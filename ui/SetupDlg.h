// CSetupDlg: the program's main window; shows one device configuration for editing, keeps the device
// commands in step with the device's presence and runs the four setup commands; Windows side.
#pragma once

#include "devicelink/ParamTransfer.h"
#include "persistence/ParamFile.h"
#include "persistence/Settings.h"
#include "portdetect/CommPortDetecter.h"
#include "ui/WorkAreaFit.h"
#include "ui/framework/AfxWin.h"
#include "ui/logic/SetupForm.h"

#include <cstddef>
#include <cstdint>

class CTransferProgressDlg;

// One destination on screen.
struct TargetRow {
    int m_bEnable = 0;
    CString m_strName; // as typed
    CIPAddressCtrl m_ipTarget;
};

class CSetupDlg : public CDialog {
public:
    // `settings`: the application's settings, read from its INI file before the dialog is made.
    explicit CSetupDlg(const CAppSettings& settings, CWnd* pParent = nullptr);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override {}     // Enter and Escape never end the dialog:
    void OnCancel() override {} // closing it asks first (OnClose)
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    // The window (SetupDlg.cpp).
    BOOL InitSetup();
    void InitControls();
    void SetModelFont(UINT dpi);
    bool OnNameChange(WPARAM wParam);
    bool OnSysCommand(UINT nID);
    bool OnPaint();
    void OnClose();
    void OnDestroy();
    void OnTimer();
    // TRUE: the controls into m_params with validation; FALSE: m_params into the controls.
    BOOL SyncParams(BOOL bFromControls);
    BOOL ShowParams();
    BOOL TakeParams();
    FormInput ReadForm();
    void CheckDevice();
    void EnableDeviceButtons();
    void UpdateTitle();
    static void FillCombo(const CComboBox& combo, const ComboItem* table, std::size_t count);
    static void SelectComboByData(const CComboBox& combo, int32_t value);
    static BOOL GetComboData(const CComboBox& combo, int32_t* value);

    // The setup commands and transfers (SetupCommands.cpp).
    bool OnCommand(WPARAM wParam);
    void OnLoadSetupFile();
    void OnReadFromDevice();
    void OnSaveSetupFile();
    void OnWriteToDevice();
    BOOL RunTransfer(int nMode, CParamFile* pParams);
    LRESULT OnStartTransfer();
    LRESULT OnTransferNotify(WPARAM code, LPARAM value);
    static int TransferNotifyProc(int32_t code, int32_t value, void* context);

    CButton m_btnWrite;
    CButton m_btnSave;
    CButton m_btnRead;
    CButton m_btnLoad;
    CStatic m_stcModel;
    CComboBox m_cmbStopBits;
    CComboBox m_cmbParity;
    CComboBox m_cmbBaudRate;
    CIPAddressCtrl m_ipGateway;
    CIPAddressCtrl m_ipSubnetMask;
    CIPAddressCtrl m_ipAddress;
    HICON m_hIcon;                   // a shared icon of the program's resources: the system frees it
    const int32_t m_nBaudRateChange; // the settings' BaudRateChange
    CFont m_fontModel;
    CString m_strBaseTitle;
    CString m_strFilePath; // the setup file last loaded or saved; empty after a read from the device
    TargetRow m_rows[TARGET_COUNT];
    CCommPortDetecter m_detecter;
    // Its worker reads m_hWnd in TransferNotifyProc: the transfer starts after the window exists (at the
    // progress dialog's first paint) and OnDestroy stops it before the handle is cleared.
    CParamTransfer m_transfer;
    CParamFile m_params; // what the controls show
    UINT_PTR m_nTimerId = 0;
    int32_t m_bDevicePresent = 0;
    // Set while a transfer runs, from the start of the progress dialog until it returned.
    CTransferProgressDlg* m_pProgressDlg = nullptr;
    // The running transfer's configuration: the worker's alone from Start until Stop returned.
    CParamFile* m_pTransferParams = nullptr;
    int32_t m_nTransferMode = 0; // 1 read, 0 write
    CWorkAreaFit m_fit;          // keeps the window within its monitor's work area
};
