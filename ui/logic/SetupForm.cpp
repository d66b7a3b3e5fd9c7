// The main dialog's controls into the configuration record, with validation; portable.
#include "ui/logic/SetupForm.h"

#include "core/NameCodec.h"
#include "core/TextParse.h"

#include <cstring>

namespace {

bool StoreAddress(const AddressInput& input, uint32_t* field) {
    *field = input.Address;
    return input.FilledFields >= IP_FIELD_COUNT;
}

} // namespace

FormError StoreForm(FormInput& input, ParamSet* params, LeadByteTest isLeadByte) {
    if (!input.HasBaudRate) {
        return {UI_MSG_ERR_BAUDRATE, 0};
    }
    params->BaudRate = input.BaudRate;
    if (!StoreAddress(input.IPAddress, &params->IPAddress)) {
        return {UI_MSG_ERR_IPADDRESS, 0};
    }
    if (!StoreAddress(input.SubnetMask, &params->SubnetMask)) {
        return {UI_MSG_ERR_SUBNETMASK, 0};
    }
    if (!StoreAddress(input.Gateway, &params->Gateway)) {
        return {UI_MSG_ERR_GATEWAY, 0};
    }
    for (int i = 0; i < TARGET_COUNT; ++i) {
        TargetInput& row = input.Targets[i];
        ParamTarget& target = params->Target[i];
        target.Enable = row.Enable;
        row.Name = std::string(TrimBlanks(row.Name, WHITE_SPACE));
        EncodeName(row.Name.c_str(), target.Name, isLeadByte);
        if (!StoreAddress(row.Address, &target.Address)) {
            return {UI_MSG_ERR_TARGET_ADDRESS, i + 1};
        }
    }
    return {UI_MSG_NONE, 0};
}

std::string FormatNumberMessage(const char* templateText, int number) {
    const char* place = std::strstr(templateText, "%d");
    if (place == nullptr) {
        return templateText;
    }
    return std::string(templateText, place) + std::to_string(number) + (place + 2);
}
