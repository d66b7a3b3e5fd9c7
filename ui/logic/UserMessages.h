// Which message the setup commands show for an outcome, as the logic's own codes; portable (only ui/
// knows the string table, and maps each code to its entry).
#pragma once

#include <cstdint>

enum UiMessage : int {
    UI_MSG_NONE = 0, // nothing to show
    UI_MSG_NOW_READING,
    UI_MSG_NOW_WRITING,
    UI_MSG_ERR_BAUDRATE,
    UI_MSG_ERR_IPADDRESS,
    UI_MSG_ERR_SUBNETMASK,
    UI_MSG_ERR_GATEWAY,
    UI_MSG_ERR_TARGET_ADDRESS, // "%d" stands for the destination's number on screen
    UI_MSG_ERR_HARDWARE,
    UI_MSG_ERR_RESOURCE,
    UI_MSG_ERR_COMM,
    UI_MSG_ERR_PARAMETER,
    UI_MSG_ERR_FILE_LOAD,
};

// The progress dialog's status line for a transfer mode (1 read, 0 write).
UiMessage TransferStatusMessage(int32_t mode);

// The stop-icon message after a transfer ended with PT_EVENT_ERROR and result `result`.
UiMessage TransferErrorMessage(int32_t result);

// The exclamation-icon message after a setup file failed to load with FileError `fileError`.
UiMessage LoadErrorMessage(int32_t fileError);
