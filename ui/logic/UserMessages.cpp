// Which string-table message the setup commands show for an outcome; portable.
#include "ui/logic/UserMessages.h"

#include "core/ParamFile.h"
#include "devicelink/ParamTransfer.h"
#include "ui/resource.h"

int TransferStatusMessage(int32_t mode) {
    return mode == 1 ? IDS_NOW_READING : IDS_NOW_WRITING;
}

int TransferErrorMessage(int32_t result) {
    switch (result) {
    case PT_ERR_HARDWARE:
        return IDS_ERR_HARDWARE;
    case PT_ERR_RESOURCE:
        return IDS_ERR_RESOURCE;
    default:
        return IDS_ERR_COMM;
    }
}

int LoadErrorMessage(int32_t fileError) {
    return fileError == FILE_ERROR_CONTENT ? IDS_ERR_PARAMETER : IDS_ERR_FILE_LOAD;
}
