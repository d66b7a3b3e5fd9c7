// Which string-table message the setup commands show for an outcome; portable.
#pragma once

#include <cstdint>

// The progress dialog's status line for a transfer mode (1 read, 0 write).
int TransferStatusMessage(int32_t mode);

// The stop-icon message after a transfer ended with PT_EVENT_ERROR and result `result`.
int TransferErrorMessage(int32_t result);

// The exclamation-icon message after a setup file failed to load with FileError `fileError`.
int LoadErrorMessage(int32_t fileError);
