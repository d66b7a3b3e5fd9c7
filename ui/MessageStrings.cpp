// The logic's message codes to the program's string table; Windows side.
#include "ui/MessageStrings.h"

#include "ui/resource.h"

// Every code has its case, so that the compiler names one that is added without an entry.
UINT MessageStringId(UiMessage message) {
    switch (message) {
    case UI_MSG_NONE:
        return 0;
    case UI_MSG_NOW_READING:
        return IDS_NOW_READING;
    case UI_MSG_NOW_WRITING:
        return IDS_NOW_WRITING;
    case UI_MSG_ERR_BAUDRATE:
        return IDS_ERR_BAUDRATE;
    case UI_MSG_ERR_IPADDRESS:
        return IDS_ERR_IPADDRESS;
    case UI_MSG_ERR_SUBNETMASK:
        return IDS_ERR_SUBNETMASK;
    case UI_MSG_ERR_GATEWAY:
        return IDS_ERR_GATEWAY;
    case UI_MSG_ERR_TARGET_ADDRESS:
        return IDS_ERR_TARGET_ADDRESS;
    case UI_MSG_ERR_HARDWARE:
        return IDS_ERR_HARDWARE;
    case UI_MSG_ERR_RESOURCE:
        return IDS_ERR_RESOURCE;
    case UI_MSG_ERR_COMM:
        return IDS_ERR_COMM;
    case UI_MSG_ERR_PARAMETER:
        return IDS_ERR_PARAMETER;
    case UI_MSG_ERR_FILE_LOAD:
        return IDS_ERR_FILE_LOAD;
    }
    return 0;
}
