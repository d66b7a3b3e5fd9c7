// Which message the setup commands show for an outcome; portable.
#include "ui/logic/UserMessages.h"

#include "devicelink/ParamTransfer.h"
#include "persistence/ParamFile.h"

UiMessage TransferStatusMessage(int32_t mode) {
    return mode == 1 ? UI_MSG_NOW_READING : UI_MSG_NOW_WRITING;
}

UiMessage TransferErrorMessage(int32_t result) {
    switch (result) {
    case PT_ERR_HARDWARE:
        return UI_MSG_ERR_HARDWARE;
    case PT_ERR_RESOURCE:
        return UI_MSG_ERR_RESOURCE;
    default:
        return UI_MSG_ERR_COMM;
    }
}

UiMessage LoadErrorMessage(int32_t fileError) {
    return fileError == FILE_ERROR_CONTENT ? UI_MSG_ERR_PARAMETER : UI_MSG_ERR_FILE_LOAD;
}
