// Win32 command lines and COM port names; portable.
#include "cli/system/WindowsSyntax.h"

#include "core/TextParse.h"

#include <cctype>

namespace {

constexpr int32_t MAX_COM_NUMBER = 255;

bool NeedsQuotes(const std::string& arg) {
    return arg.empty() || arg.find_first_of(" \t\n\v\"") != std::string::npos;
}

bool StartsWithNoCase(const std::string& text, std::size_t at, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (at + i >= text.size() || std::toupper(static_cast<unsigned char>(text[at + i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

// Backslashes count only before a quote: there, and before the closing quote, they are doubled.
std::string QuoteWindowsArgument(const std::string& arg) {
    if (!NeedsQuotes(arg)) {
        return arg;
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

std::string WindowsCommandLine(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) {
        line += (line.empty() ? "" : " ") + QuoteWindowsArgument(arg);
    }
    return line;
}

bool ParseComPortName(const std::string& name, int32_t* number) {
    const std::size_t start = name.rfind("\\\\.\\", 0) == 0 ? 4 : 0;
    if (!StartsWithNoCase(name, start, "COM")) {
        return false;
    }
    const std::size_t digits = start + 3;
    int32_t value = 0;
    if (!ParseDecimal(name.c_str() + digits, name.size() - digits, &value) || value < 1 ||
        value > MAX_COM_NUMBER) {
        return false;
    }
    *number = value;
    return true;
}
