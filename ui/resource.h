// Resource ids of ZRVLinkSetup: shared by the resource script and the code on both sides of the seam.
#pragma once

// Dialog templates and the icon.
#define IDD_ABOUTBOX 100
#define IDD_SETUP_DIALOG 102
#define IDD_TRANSFER_PROGRESS 131
#define IDR_MAINFRAME 128

// System menu command of the about box; the low four bits are the system's.
#define IDM_ABOUTBOX 0x0010

// String table.
#define IDS_ABOUTBOX 101
#define IDS_FILE_FILTER 102
#define IDS_FILE_DEFEXT 103
#define IDS_QUIT_QUESTION 104
#define IDS_TRANSFER_TITLE 105
#define IDS_NOW_READING 106
#define IDS_NOW_WRITING 107
#define IDS_READ_COMPLETED 108
#define IDS_WRITE_COMPLETED 109
#define IDS_ERR_RESOURCE 150
#define IDS_ERR_COMM 151
#define IDS_READ_QUESTION 152
#define IDS_WRITE_QUESTION 153
#define IDS_ERR_BAUDRATE 154
#define IDS_ERR_IPADDRESS 155
#define IDS_ERR_SUBNETMASK 156
#define IDS_ERR_GATEWAY 157
#define IDS_ERR_TARGET_ADDRESS 158
#define IDS_ERR_FILE_LOAD 159
#define IDS_ERR_FILE_SAVE 160
#define IDS_ERR_HARDWARE 161
#define IDS_ERR_PARAMETER 162

// Controls of the main dialog other than the destination rows (see logic/ControlIds.h for those).
#define IDC_IPADDRESS 1000
#define IDC_SUBNETMASK 1001
#define IDC_GATEWAY 1002
#define IDC_BAUDRATE 1007
#define IDC_PARITY 1008
#define IDC_STOPBITS 1009
#define IDC_LOAD_SETUP 1102
#define IDC_MODEL 1103
#define IDC_READ_DEVICE 1104
#define IDC_SAVE_SETUP 1105
#define IDC_WRITE_DEVICE 1106

// Controls of the progress dialog.
#define IDC_TRANSFER_STATUS 1023
#define IDC_TRANSFER_PROGRESS 1007
