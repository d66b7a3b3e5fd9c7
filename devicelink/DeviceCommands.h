// The command lines sent to the device, one builder per command; portable. Each builder formats its line
// and hands it to a CCommandSender in one piece, without waiting for the reply.
#pragma once

#include "core/DebugPrint.h"
#include "core/ParamSet.h"

#include <cstddef>

constexpr std::size_t COMMAND_SIZE = 256;

// Where the builders send their lines: the transfer engine (which resets its reply event and writes the
// line to the port in one write), or a test double.
class CCommandSender {
public:
    virtual ~CCommandSender() = default;
    // `line` holds `length` bytes and no NUL; true when the bytes were accepted for sending.
    virtual bool SendCommand(const char* line, std::size_t length) = 0;
};

// printf-style into `buffer`, NUL-terminated. Returns the line's length, or -1 when it does not fit.
int FormatCommand(char (&buffer)[COMMAND_SIZE], const char* format, ...) ZRV_PRINTF_FORMAT(2, 3);

// A line is sent only when its one CR is its last byte and it holds no LF: a CR or LF inside a value
// (a name, say) would make the device run a second command. Such a line is refused: the builder
// returns false and sends nothing.
bool CmdVers(CCommandSender& sender);
bool CmdGetBaudrate(CCommandSender& sender);
bool CmdSetBaudrate(CCommandSender& sender, const ParamSet& set);
bool CmdGetNetParam(CCommandSender& sender);
bool CmdSetNetParam(CCommandSender& sender, const ParamSet& set);
bool CmdGetTarget(CCommandSender& sender, int index);
bool CmdSetTarget(CCommandSender& sender, int index, const ParamSet& set);
bool CmdGetEnable(CCommandSender& sender, int index);
bool CmdSetEnable(CCommandSender& sender, int index, const ParamSet& set);
bool CmdGetName(CCommandSender& sender, int index);
bool CmdSetName(CCommandSender& sender, int index, const ParamSet& set);
bool CmdSave(CCommandSender& sender);
bool CmdUpdate(CCommandSender& sender);
