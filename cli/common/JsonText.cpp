// zrvlink's JSON documents, written with nlohmann-json; portable. Text that is not UTF-8 (a serial number,
// a stored name's digits) is written with U+FFFD in its place rather than failing the document.
#include "cli/common/JsonText.h"

#include "core/IPv4.h"
#include "core/NameCodec.h"
#include "core/ParamKeys.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

using Json = nlohmann::ordered_json;

namespace {

constexpr int INDENT = 2;

std::string Dump(const Json& document) {
    return document.dump(INDENT, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string Dotted(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", IPv4Octet(address, 0), IPv4Octet(address, 1),
                  IPv4Octet(address, 2), IPv4Octet(address, 3));
    return text;
}

Json ValueOf(const ParamSet& set, const ParamKey& key) {
    switch (key.Kind) {
    case VALUE_KIND_ADDRESS:
        return Dotted(static_cast<uint32_t>(GetParamKeyNumber(set, key)));
    case VALUE_KIND_TEXT:
        return std::string(GetParamKeyText(set, key), strnlen(GetParamKeyText(set, key), key.TextSize));
    default:
        return GetParamKeyNumber(set, key);
    }
}

bool IsUtf8(const std::string& text) {
    try {
        static_cast<void>(Json(text).dump());
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

// The name that `hex` spells exactly: it decodes when encoding the decoded text gives the digits back.
Json NameOf(const std::string& hex) {
    const std::string text = DecodeName(hex.c_str());
    char digits[TARGET_NAME_SIZE];
    EncodeName(text.c_str(), digits, NoLeadBytes);
    std::string upper = hex;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper == digits && IsUtf8(text) ? Json(text) : Json(nullptr);
}

Json TargetJson(const ParamTarget& target) {
    const std::string hex(target.Name, strnlen(target.Name, sizeof target.Name));
    return Json{{"Enable", target.Enable != 0},
                {"Address", Dotted(target.Address)},
                {"Name", NameOf(hex)},
                {"NameHex", hex}};
}

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

std::string HexId(uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(id));
    return text;
}

} // namespace

std::string SetupJson(const ParamSet& set) {
    Json document = Json::object();
    for (int i = 0; i < PARAM_KEY_COUNT; ++i) {
        document[PARAM_KEYS[i].Name] = ValueOf(set, PARAM_KEYS[i]);
    }
    Json& targets = document["Targets"] = Json::array();
    for (const ParamTarget& target : set.Target) {
        targets.push_back(TargetJson(target));
    }
    return Dump(document);
}

std::string DifferencesJson(const std::vector<SetupDifference>& differences) {
    Json document = Json::array();
    for (const SetupDifference& difference : differences) {
        document.push_back({{"Key", difference.Key}, {"Left", difference.Left}, {"Right", difference.Right}});
    }
    return Dump(document);
}

std::string PortsJson(const std::vector<PortRecord>& records) {
    Json document = Json::array();
    for (const PortRecord& record : records) {
        document.push_back({{"Port", record.Name},
                            {"Vid", HexId(record.Usb.Vid)},
                            {"Pid", HexId(record.Usb.Pid)},
                            {"Serial", TextOrNull(record.Usb.Serial)},
                            {"Location", TextOrNull(record.Usb.Location)}});
    }
    return Dump(document);
}

nlohmann::ordered_json LedgerStationJson(const LedgerStationInfo& station) {
    return {{"Name", station.Name},
            {"Host", TextOrNull(station.Host)},
            {"LastSeen", station.LastSeen},
            {"State", LedgerStationStateName(station.State)},
            {"Running", station.State == LedgerStationState::Running},
            {"MayWriteUntil", TextOrNull(station.MayWriteUntil)}};
}

std::string LedgerStatusJson(const LedgerStatus& status) {
    Json units = Json::object();
    for (const auto& [state, count] : status.States) {
        units[state] = count;
    }
    Json stations = Json::array();
    for (const LedgerStationInfo& station : status.Stations) {
        stations.push_back(LedgerStationJson(station));
    }
    return Dump({{"Units", units}, {"Stations", stations}});
}
