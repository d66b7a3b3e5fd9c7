// The string-table entry of each message that the dialogs' portable logic chooses; Windows side.
#pragma once

#include "ui/logic/UserMessages.h"

#include <windows.h>

// The IDS_ string of `message`; 0 for UI_MSG_NONE.
UINT MessageStringId(UiMessage message);
