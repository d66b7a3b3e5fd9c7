// CSimDevice: the simulated ZRV-Link's command interpreter; device side of the serial link.
#include "sim/SimDevice.h"

#include "persistence/ParamFile.h"
#include "sim/SimText.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

constexpr unsigned char ESC = 0x1B;
constexpr unsigned char CR = 0x0D;
constexpr std::size_t NAME_MAX_LENGTH = TARGET_NAME_SIZE - 1;
constexpr uint32_t BAUD_RATE_MAX = INT32_MAX;

// Bytes a PC must drop from replies: controls other than CR and LF, and the upper half.
constexpr unsigned char GARBAGE[] = {0x00, 0x1B, 0x80, 0x07, 0xFF, 0x01, 0x9B, 0x1F, 0xC3, 0x08};

// Splits what follows the command word; every argument must be non-empty.
bool SplitArgs(std::string_view rest, bool hadArgs, int maxArgs, std::string_view* items, int* count) {
    *count = 0;
    while (hadArgs) {
        if (*count == maxArgs) {
            return false;
        }
        bool more = false;
        std::string_view part = *count == maxArgs - 1 ? rest : CutWord(&rest, &more);
        if (part.empty()) {
            return false;
        }
        items[(*count)++] = part;
        hadArgs = more;
    }
    return true;
}

} // namespace

bool IsReplyableText(std::string_view text) {
    for (char c : text) {
        if (c < 0x20 || c > 0x7E || c == '>') {
            return false;
        }
    }
    return true;
}

bool IsStorableName(std::string_view text) {
    return !text.empty() && text.size() <= NAME_MAX_LENGTH && IsReplyableText(text);
}

const CSimDevice::Command CSimDevice::COMMANDS[] = {
    {"vers", 0, 0, false, &CSimDevice::Vers},         {"baudrate", 1, 1, false, &CSimDevice::Baudrate},
    {"netparam", 3, 3, false, &CSimDevice::Netparam}, {"target", 2, 2, true, &CSimDevice::Target},
    {"enable", 2, 2, true, &CSimDevice::Enable},      {"name", 2, 2, true, &CSimDevice::Name},
    {"clrname", 1, 1, true, &CSimDevice::Clrname},    {"save", 0, 0, false, &CSimDevice::Save},
    {"update", 0, 0, false, &CSimDevice::Update},
};

const CSimDevice::Command* CSimDevice::FindCommand(std::string_view word) {
    for (const Command& command : COMMANDS) {
        if (word == command.Word) {
            return &command;
        }
    }
    return nullptr;
}

bool CSimDevice::IsCommandWord(std::string_view word) {
    return FindCommand(word) != nullptr;
}

bool CSimDevice::IsSetWord(std::string_view word, bool* indexed) {
    const Command* command = FindCommand(word);
    if (command == nullptr || command->SetArgs == 0) {
        return false;
    }
    *indexed = command->Indexed;
    return true;
}

CSimDevice::CSimDevice(SimBehaviour behaviour) : m_behaviour(std::move(behaviour)) {
    CParamFile defaults;
    SetState(*defaults.GetParam());
    ResetLine();
}

void CSimDevice::SetState(const ParamSet& state) {
    m_current = state;
    m_saved = state;
}

void CSimDevice::ResetLine() {
    m_lineLength = 0;
    m_lineBad = false;
}

bool CSimDevice::IsUnplugged() const {
    return m_behaviour.CloseAfter >= 0 && m_counters.Lines >= m_behaviour.CloseAfter;
}

bool CSimDevice::IsStalled() const {
    return m_behaviour.StallAfter >= 0 && m_counters.Lines >= m_behaviour.StallAfter;
}

bool CSimDevice::Answers() const {
    bool silent = m_behaviour.SilentAfter >= 0 && m_counters.Lines > m_behaviour.SilentAfter;
    bool gone = m_behaviour.CloseAfter >= 0 && m_counters.Lines > m_behaviour.CloseAfter;
    return !silent && !gone;
}

bool CSimDevice::PutByte(unsigned char byte, SimReply* reply) {
    if (byte == ESC) {
        ResetLine();
        return false;
    }
    if (byte != CR) {
        if (byte < 0x20 || byte > 0x7E || m_lineLength == SIM_LINE_SIZE - 1) {
            m_lineBad = true; // LF included: a line ends with CR alone
        } else {
            m_line[m_lineLength++] = static_cast<char>(byte);
        }
        return false;
    }
    std::string_view line(m_line, static_cast<std::size_t>(m_lineLength));
    bool bad = m_lineBad;
    ResetLine();
    ++m_counters.Lines;
    if (!Answers()) {
        ++m_counters.Unanswered;
        return false;
    }
    std::string text;
    if (bad || !Execute(line, &text)) {
        ++m_counters.Errors;
        text = "ERROR";
    }
    reply->Bytes = Frame(text);
    reply->DelayMs = DelayFor(line);
    return true;
}

bool CSimDevice::Execute(std::string_view line, std::string* text) {
    if (line.empty()) {
        return true; // an empty line only asks for the prompt
    }
    bool hadArgs = false;
    const Command* command = FindCommand(CutWord(&line, &hadArgs));
    Args args{};
    if (command == nullptr || !SplitArgs(line, hadArgs, command->MaxArgs, args.Item, &args.Count)) {
        return false;
    }
    // An ignored set is checked and answered like any other; only its effect is undone.
    const ParamSet before = m_current;
    const bool done = (this->*command->Run)(args, text);
    if (done && Ignores(*command, args)) {
        m_current = before;
    }
    return done;
}

bool CSimDevice::Ignores(const Command& command, const Args& args) const {
    if (command.SetArgs == 0 || args.Count != command.SetArgs) {
        return false;
    }
    uint32_t index = 0;
    const bool indexed = command.Indexed && ReadSimNumber(args.Item[0], TARGET_COUNT - 1, &index);
    for (const SimIgnoredSet& ignored : m_behaviour.IgnoredSets) {
        if (ignored.Word == command.Word &&
            (ignored.Index < 0 || (indexed && static_cast<int>(index) == ignored.Index))) {
            return true;
        }
    }
    return false;
}

int CSimDevice::DelayFor(std::string_view line) const {
    bool hadArgs = false;
    std::string_view word = CutWord(&line, &hadArgs);
    for (const SimCommandDelay& delay : m_behaviour.CommandDelays) {
        if (word == delay.Word) {
            return delay.DelayMs;
        }
    }
    return m_behaviour.DelayMs;
}

std::string CSimDevice::Frame(const std::string& text) {
    std::string clean = text + "\r\n>";
    if (!m_behaviour.Garbage) {
        return clean;
    }
    std::string bytes;
    for (char c : clean) {
        bytes += static_cast<char>(GARBAGE[m_garbageNext++ % sizeof GARBAGE]);
        bytes += c;
    }
    return bytes;
}

bool CSimDevice::Vers(const Args& args, std::string* text) {
    (void)args; // none: SplitArgs allows none
    *text = m_behaviour.Version;
    return true;
}

bool CSimDevice::Baudrate(const Args& args, std::string* text) {
    if (args.Count == 0) {
        *text = std::to_string(m_current.BaudRate);
        return true;
    }
    uint32_t rate = 0;
    if (!ReadSimNumber(args.Item[0], BAUD_RATE_MAX, &rate) || rate == 0) {
        return false;
    }
    m_current.BaudRate = static_cast<int32_t>(rate);
    return true;
}

bool CSimDevice::Netparam(const Args& args, std::string* text) {
    ParamSet& p = m_current;
    if (args.Count == 0) {
        *text = p.IPAddress == 0 && p.SubnetMask == 0 && p.Gateway == 0
                    ? "dhcp"
                    : "address " + PrintSimAddress(p.IPAddress) + "\r\nnetmask " +
                          PrintSimAddress(p.SubnetMask) + "\r\ngateway " + PrintSimAddress(p.Gateway);
        return true;
    }
    uint32_t address[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (args.Count != 3 || !ReadSimAddress(args.Item[i], &address[i])) {
            return false;
        }
    }
    p.IPAddress = address[0];
    p.SubnetMask = address[1];
    p.Gateway = address[2];
    return true;
}

ParamTarget* CSimDevice::TargetOf(std::string_view index) {
    uint32_t value = 0;
    return ReadSimNumber(index, TARGET_COUNT - 1, &value) ? &m_current.Target[value] : nullptr;
}

bool CSimDevice::Target(const Args& args, std::string* text) {
    ParamTarget* target = TargetOf(args.Item[0]);
    if (target == nullptr || args.Count == 1) {
        *text = target != nullptr ? PrintSimAddress(target->Address) : "";
        return target != nullptr;
    }
    return ReadSimAddress(args.Item[1], &target->Address);
}

bool CSimDevice::Enable(const Args& args, std::string* text) {
    ParamTarget* target = TargetOf(args.Item[0]);
    uint32_t flag = 0;
    if (target == nullptr || args.Count == 1) {
        *text = target != nullptr && target->Enable != 0 ? "1" : "0";
        return target != nullptr;
    }
    // Only 0 and 1: the PC sends any nonzero flag as 1.
    if (!ReadSimNumber(args.Item[1], 1, &flag)) {
        return false;
    }
    target->Enable = static_cast<int32_t>(flag);
    return true;
}

bool CSimDevice::Name(const Args& args, std::string* text) {
    ParamTarget* target = TargetOf(args.Item[0]);
    if (target == nullptr || args.Count == 1) {
        *text = target != nullptr ? target->Name : "";
        return target != nullptr;
    }
    std::string_view value = args.Item[1];
    if (!IsStorableName(value)) {
        return false;
    }
    std::memcpy(target->Name, value.data(), value.size());
    target->Name[value.size()] = '\0';
    return true;
}

bool CSimDevice::Clrname(const Args& args, std::string* text) {
    ParamTarget* target = TargetOf(args.Item[0]);
    text->clear();
    if (target == nullptr) {
        return false;
    }
    target->Name[0] = '\0';
    return true;
}

bool CSimDevice::Save(const Args& args, std::string* text) {
    (void)args;
    ++m_counters.Saves;
    *text = m_behaviour.SaveReply;
    if (m_behaviour.SaveReply == "OK") {
        m_saved = m_current;
    }
    return true;
}

bool CSimDevice::Update(const Args& args, std::string* text) {
    (void)args;
    (void)text;
    ++m_counters.Updates;
    return true;
}
