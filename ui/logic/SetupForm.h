// What the main dialog's controls hold, taken into the configuration record with validation, and the
// fixed contents of its serial-line lists; portable (the dialog reads the controls, this decides).
#pragma once

#include "core/ParamSet.h"
#include "ui/logic/AppPath.h"

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int IP_FIELD_COUNT = 4; // an address is valid when all four of its fields are filled

struct ComboItem {
    const char* Text;
    int32_t Data;
};

constexpr ComboItem BAUD_RATE_ITEMS[] = {
    {"19200", 19200}, {"38400", 38400}, {"57600", 57600}, {"115200", 115200}, {"230400", 230400},
};
constexpr ComboItem PARITY_ITEMS[] = {{"NONE", 'N'}};
constexpr ComboItem STOP_BITS_ITEMS[] = {{"1", 1}};

// One address control as read: its value and how many of its four fields were filled.
struct AddressInput {
    uint32_t Address;
    int FilledFields;
};

struct TargetInput {
    int32_t Enable;   // the check box: 0 or 1
    std::string Name; // as typed; trimmed by StoreForm
    AddressInput Address;
};

struct FormInput {
    bool HasBaudRate; // false when the baud-rate list has no selection
    int32_t BaudRate;
    AddressInput IPAddress;
    AddressInput SubnetMask;
    AddressInput Gateway;
    TargetInput Targets[TARGET_COUNT];
};

// The first invalid value: the string id of its warning and, for a destination, its number on screen.
struct FormError {
    int MessageId;   // 0 when every value was valid
    int Destination; // 1 to 32 for IDS_ERR_TARGET_ADDRESS, else 0
};

// Stores the values into `params` in screen order, each as soon as it is taken, and stops at the first
// invalid one; names are trimmed in `input` and stored encoded, never cut inside a character of the code
// page that `isLeadByte` describes. The baud rate is stored only when the list had a selection.
FormError StoreForm(FormInput& input, ParamSet* params, LeadByteTest isLeadByte);

// `text` without white space at either end.
std::string TrimWhitespace(const std::string& text);

// The warning `templateText` with its first "%d" replaced by `number`; all other text is kept as it is,
// so a template is never read as a format.
std::string FormatNumberMessage(const char* templateText, int number);
