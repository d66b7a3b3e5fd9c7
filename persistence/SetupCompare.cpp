// Configurations compared key by key through the setup file's own line formatter; portable.
#include "persistence/SetupCompare.h"

#include "core/ParamKeys.h"
#include "core/ParamRules.h"
#include "persistence/SetupLines.h"

#include <cstddef>

namespace {

struct KeyValue {
    std::string Key;
    std::string Value;
};

bool FormatKeyValue(const ParamSet& set, int index, KeyValue* pair) {
    return FormatSetupKeyValue(set, index, &pair->Key, &pair->Value);
}

bool IsRowOf(const ParamKey& row, std::size_t fieldOffset) {
    return row.FieldOffset == fieldOffset;
}

} // namespace

SetupKeyMask EveryKey() {
    return SetupKeyMask(static_cast<std::size_t>(SetupLineCount()), true);
}

SetupKeyMask KeysWrittenFrom(const ParamSet& sent) {
    SetupKeyMask mask = EveryKey();
    const bool netParam = sent.IPAddress != 0 || sent.SubnetMask != 0 || sent.Gateway != 0;
    for (int i = 0; i < PARAM_KEY_COUNT; ++i) {
        const ParamKey& row = PARAM_KEYS[i];
        if (IsRowOf(row, offsetof(ParamSet, BaudRate))) {
            mask[static_cast<std::size_t>(i)] = sent.BaudRate != 0;
        } else if (IsRowOf(row, offsetof(ParamSet, IPAddress)) ||
                   IsRowOf(row, offsetof(ParamSet, SubnetMask)) ||
                   IsRowOf(row, offsetof(ParamSet, Gateway))) {
            mask[static_cast<std::size_t>(i)] = netParam;
        }
    }
    return mask;
}

std::vector<SetupDifference> CompareSetups(const ParamSet& left, const ParamSet& right,
                                           const SetupKeyMask& mask) {
    std::vector<SetupDifference> differences;
    for (int i = 0; i < SetupLineCount() && static_cast<std::size_t>(i) < mask.size(); ++i) {
        KeyValue a;
        KeyValue b;
        if (mask[static_cast<std::size_t>(i)] && FormatKeyValue(left, i, &a) &&
            FormatKeyValue(right, i, &b) && a.Value != b.Value) {
            differences.push_back({a.Key, a.Value, b.Value});
        }
    }
    return differences;
}

bool HoldsWrittenSetup(const ParamSet& device, const ParamSet& unit) {
    ParamSet sent = unit;
    DisableOwnAddressTargets(&sent);
    return CompareSetups(sent, device, KeysWrittenFrom(sent)).empty();
}
