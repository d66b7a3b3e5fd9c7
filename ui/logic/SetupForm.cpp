// The main dialog's controls into the configuration record, with validation; portable.
#include "ui/logic/SetupForm.h"

#include "core/NameCodec.h"
#include "ui/resource.h"

#include <cstring>

namespace {

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool StoreAddress(const AddressInput& input, uint32_t* field) {
    *field = input.Address;
    return input.FilledFields >= IP_FIELD_COUNT;
}

} // namespace

std::string TrimWhitespace(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && IsSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

FormError StoreForm(FormInput& input, ParamSet* params, LeadByteTest isLeadByte) {
    if (!input.HasBaudRate) {
        return {IDS_ERR_BAUDRATE, 0};
    }
    params->BaudRate = input.BaudRate;
    if (!StoreAddress(input.IPAddress, &params->IPAddress)) {
        return {IDS_ERR_IPADDRESS, 0};
    }
    if (!StoreAddress(input.SubnetMask, &params->SubnetMask)) {
        return {IDS_ERR_SUBNETMASK, 0};
    }
    if (!StoreAddress(input.Gateway, &params->Gateway)) {
        return {IDS_ERR_GATEWAY, 0};
    }
    for (int i = 0; i < TARGET_COUNT; ++i) {
        TargetInput& row = input.Targets[i];
        ParamTarget& target = params->Target[i];
        target.Enable = row.Enable;
        row.Name = TrimWhitespace(row.Name);
        EncodeName(row.Name.c_str(), target.Name, isLeadByte);
        if (!StoreAddress(row.Address, &target.Address)) {
            return {IDS_ERR_TARGET_ADDRESS, i + 1};
        }
    }
    return {0, 0};
}

std::string FormatNumberMessage(const char* templateText, int number) {
    const char* place = std::strstr(templateText, "%d");
    if (place == nullptr) {
        return templateText;
    }
    return std::string(templateText, place) + std::to_string(number) + (place + 2);
}
