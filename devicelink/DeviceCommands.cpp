// Command line builders of the device protocol; portable.
#include "devicelink/DeviceCommands.h"

#include "core/IPv4.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr char ESC = '\x1B';

int FormatCommandV(char (&buffer)[COMMAND_SIZE], const char* format, va_list args) ZRV_PRINTF_FORMAT(2, 0);
int FormatCommandV(char (&buffer)[COMMAND_SIZE], const char* format, va_list args) {
    int written = std::vsnprintf(buffer, COMMAND_SIZE, format, args);
    if (written < 0 || static_cast<std::size_t>(written) >= COMMAND_SIZE) {
        buffer[0] = '\0';
        return -1;
    }
    return written;
}

// The only CR of a line is its last byte, and it holds no LF.
bool IsSingleLine(const char* line, std::size_t length) {
    if (length == 0 || line[length - 1] != '\r') {
        return false;
    }
    return std::memchr(line, '\r', length - 1) == nullptr && std::memchr(line, '\n', length) == nullptr;
}

bool Send(CCommandSender& sender, const char* format, ...) ZRV_PRINTF_FORMAT(2, 3);
bool Send(CCommandSender& sender, const char* format, ...) {
    char line[COMMAND_SIZE];
    va_list args;
    va_start(args, format);
    int length = FormatCommandV(line, format, args);
    va_end(args);
    if (length < 0 || !IsSingleLine(line, static_cast<std::size_t>(length))) {
        return false;
    }
    return sender.SendCommand(line, static_cast<std::size_t>(length));
}

bool IsValidIndex(int index) {
    return index >= 0 && index < TARGET_COUNT;
}

} // namespace

int FormatCommand(char (&buffer)[COMMAND_SIZE], const char* format, ...) {
    va_list args;
    va_start(args, format);
    int length = FormatCommandV(buffer, format, args);
    va_end(args);
    return length;
}

bool CmdVers(CCommandSender& sender) {
    return Send(sender, "%cvers\r", ESC);
}

bool CmdGetBaudrate(CCommandSender& sender) {
    return Send(sender, "baudrate\r");
}

bool CmdSetBaudrate(CCommandSender& sender, const ParamSet& set) {
    return Send(sender, "baudrate %d\r", set.BaudRate);
}

bool CmdGetNetParam(CCommandSender& sender) {
    return Send(sender, "netparam\r");
}

bool CmdSetNetParam(CCommandSender& sender, const ParamSet& set) {
    const uint32_t a = set.IPAddress, m = set.SubnetMask, g = set.Gateway;
    return Send(sender, "netparam %d.%d.%d.%d %d.%d.%d.%d %d.%d.%d.%d\r", IPv4Octet(a, 0), IPv4Octet(a, 1),
                IPv4Octet(a, 2), IPv4Octet(a, 3), IPv4Octet(m, 0), IPv4Octet(m, 1), IPv4Octet(m, 2),
                IPv4Octet(m, 3), IPv4Octet(g, 0), IPv4Octet(g, 1), IPv4Octet(g, 2), IPv4Octet(g, 3));
}

bool CmdGetTarget(CCommandSender& sender, int index) {
    return IsValidIndex(index) && Send(sender, "target %d\r", index);
}

bool CmdSetTarget(CCommandSender& sender, int index, const ParamSet& set) {
    if (!IsValidIndex(index)) {
        return false;
    }
    const uint32_t a = set.Target[index].Address;
    return Send(sender, "target %d %d.%d.%d.%d\r", index, IPv4Octet(a, 0), IPv4Octet(a, 1), IPv4Octet(a, 2),
                IPv4Octet(a, 3));
}

bool CmdGetEnable(CCommandSender& sender, int index) {
    return IsValidIndex(index) && Send(sender, "enable %d\r", index);
}

bool CmdSetEnable(CCommandSender& sender, int index, const ParamSet& set) {
    return IsValidIndex(index) &&
           Send(sender, "enable %d %d\r", index, set.Target[index].Enable != 0 ? 1 : 0);
}

bool CmdGetName(CCommandSender& sender, int index) {
    return IsValidIndex(index) && Send(sender, "name %d\r", index);
}

bool CmdSetName(CCommandSender& sender, int index, const ParamSet& set) {
    if (!IsValidIndex(index)) {
        return false;
    }
    const char* name = set.Target[index].Name;
    // Bounded even for a record whose name lost its NUL.
    int length = static_cast<int>(strnlen(name, TARGET_NAME_SIZE - 1));
    if (length == 0) {
        return Send(sender, "clrname %d\r", index);
    }
    return Send(sender, "name %d %.*s\r", index, length, name);
}

bool CmdSave(CCommandSender& sender) {
    return Send(sender, "save\r");
}

bool CmdUpdate(CCommandSender& sender) {
    return Send(sender, "update\r");
}
