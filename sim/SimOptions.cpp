// The simulator's command line; device side of the serial link.
#include "sim/SimOptions.h"

#include "sim/SimText.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

constexpr uint32_t MAX_COUNT = INT32_MAX;

bool ReadCount(std::string_view value, uint32_t max, int* out, std::string* error, const char* what) {
    uint32_t number = 0;
    if (!ReadSimNumber(value, max, &number)) {
        *error = std::string("expected ") + what + " from 0 to " + std::to_string(max) + ", not '" +
                 std::string(value) + "'";
        return false;
    }
    *out = static_cast<int>(number);
    return true;
}

bool ReadText(std::string_view value, std::string* out, std::string* error) {
    if (value.size() > SIM_MAX_TEXT || !IsReplyableText(value)) {
        *error = "expected at most " + std::to_string(SIM_MAX_TEXT) +
                 " printable ASCII characters without '>', not '" + std::string(value) + "'";
        return false;
    }
    *out = value;
    return true;
}

// The same, where "\r" and "\n" stand for a CR and an LF: a device whose answer breaks its line.
bool ReadLinesText(std::string_view value, std::string* out, std::string* error) {
    if (!ReadText(value, out, error)) {
        return false;
    }
    for (const auto& [escape, byte] : {std::pair<const char*, char>{"\\r", '\r'}, {"\\n", '\n'}}) {
        for (std::size_t at = out->find(escape); at != std::string::npos; at = out->find(escape, at + 1)) {
            out->replace(at, 2, 1, byte);
        }
    }
    return true;
}

bool ReadPath(std::string_view value, std::string* out, std::string* error) {
    if (value.empty()) {
        *error = "expected a path";
        return false;
    }
    *out = value;
    return true;
}

bool ReadCommandDelay(std::string_view value, SimBehaviour* behaviour, std::string* error) {
    std::size_t colon = value.find(':');
    std::string_view word = value.substr(0, colon);
    SimCommandDelay delay{std::string(word), 0};
    if (colon == std::string_view::npos || !CSimDevice::IsCommandWord(word)) {
        *error = "expected COMMAND:MS with a command word such as name, not '" + std::string(value) + "'";
        return false;
    }
    if (!ReadCount(value.substr(colon + 1), SIM_MAX_DELAY_MS, &delay.DelayMs, error, "milliseconds")) {
        return false;
    }
    for (SimCommandDelay& earlier : behaviour->CommandDelays) {
        if (earlier.Word == delay.Word) {
            earlier = delay;
            return true;
        }
    }
    behaviour->CommandDelays.push_back(delay);
    return true;
}

// WORD or WORD:INDEX, WORD a command with a set form; INDEX only for those that name a destination.
bool ReadIgnoredSet(std::string_view value, SimBehaviour* behaviour, std::string* error) {
    const std::size_t colon = value.find(':');
    const std::string_view word = value.substr(0, colon);
    bool indexed = false;
    uint32_t index = 0;
    const bool wordOk = CSimDevice::IsSetWord(word, &indexed);
    const bool indexOk = colon == std::string_view::npos ||
                         (indexed && ReadSimNumber(value.substr(colon + 1), TARGET_COUNT - 1, &index));
    if (!wordOk || !indexOk) {
        *error = "expected WORD[:INDEX] with a set command word (baudrate, netparam, target, enable, name, "
                 "clrname) and an index from 0 to 31 for the last four, not '" +
                 std::string(value) + "'";
        return false;
    }
    const int chosen = colon == std::string_view::npos ? -1 : static_cast<int>(index);
    behaviour->IgnoredSets.push_back({std::string(word), chosen});
    return true;
}

// INDEX:TEXT, TEXT kept whole: blanks, ';' and ':' included.
bool ReadStartName(std::string_view value, SimOptions* options, std::string* error) {
    const std::size_t colon = value.find(':');
    uint32_t index = 0;
    const std::string_view text =
        colon == std::string_view::npos ? std::string_view() : value.substr(colon + 1);
    if (colon == std::string_view::npos || !ReadSimNumber(value.substr(0, colon), TARGET_COUNT - 1, &index) ||
        !IsStorableName(text)) {
        *error = "expected INDEX:TEXT with an index from 0 to 31 and 1 to 64 printable ASCII characters "
                 "without '>', not '" +
                 std::string(value) + "'";
        return false;
    }
    options->StartNames.push_back({static_cast<int>(index), std::string(text)});
    return true;
}

using Apply = bool (*)(std::string_view value, SimOptions* o, std::string* error);

struct OptionRow {
    const char* Name;
    bool TakesValue;
    Apply Run;
};

const OptionRow OPTIONS[] = {
    {"--help", false, [](std::string_view, SimOptions* o, std::string*) { return o->Help = true; }},
    {"--link", true,
     [](std::string_view v, SimOptions* o, std::string* e) { return ReadPath(v, &o->LinkPath, e); }},
    {"--load", true,
     [](std::string_view v, SimOptions* o, std::string* e) { return ReadPath(v, &o->LoadPath, e); }},
    {"--target-name", true, ReadStartName},
    {"--state-out", true,
     [](std::string_view v, SimOptions* o, std::string* e) { return ReadPath(v, &o->StateOutPath, e); }},
    {"--saved-out", true,
     [](std::string_view v, SimOptions* o, std::string* e) { return ReadPath(v, &o->SavedOutPath, e); }},
    {"--log", true,
     [](std::string_view v, SimOptions* o, std::string* e) { return ReadPath(v, &o->LogPath, e); }},
    {"--version", false, [](std::string_view, SimOptions* o, std::string*) { return o->Version = true; }},
    {"--vers-reply", true,
     [](std::string_view v, SimOptions* o, std::string* e) {
         return ReadLinesText(v, &o->Behaviour.Version, e);
     }},
    {"--save-reply", true,
     [](std::string_view v, SimOptions* o, std::string* e) {
         return ReadText(v, &o->Behaviour.SaveReply, e);
     }},
    {"--silent-after", true,
     [](std::string_view v, SimOptions* o, std::string* e) {
         return ReadCount(v, MAX_COUNT, &o->Behaviour.SilentAfter, e, "a number of lines");
     }},
    {"--close-after", true,
     [](std::string_view v, SimOptions* o, std::string* e) {
         return ReadCount(v, MAX_COUNT, &o->Behaviour.CloseAfter, e, "a number of lines");
     }},
    {"--stall-after", true,
     [](std::string_view v, SimOptions* o, std::string* e) {
         return ReadCount(v, MAX_COUNT, &o->Behaviour.StallAfter, e, "a number of lines");
     }},
    {"--delay", true,
     [](std::string_view v, SimOptions* o, std::string* e) {
         return ReadCount(v, SIM_MAX_DELAY_MS, &o->Behaviour.DelayMs, e, "milliseconds");
     }},
    {"--delay-command", true,
     [](std::string_view v, SimOptions* o, std::string* e) { return ReadCommandDelay(v, &o->Behaviour, e); }},
    {"--ignore-set", true,
     [](std::string_view v, SimOptions* o, std::string* e) { return ReadIgnoredSet(v, &o->Behaviour, e); }},
    {"--garbage", false,
     [](std::string_view, SimOptions* o, std::string*) { return o->Behaviour.Garbage = true; }},
    {"--byte-by-byte", false,
     [](std::string_view, SimOptions* o, std::string*) { return o->ByteByByte = true; }},
};

const OptionRow* FindOption(std::string_view name) {
    for (const OptionRow& row : OPTIONS) {
        if (name == row.Name) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::size_t equals = arg.find('=');
        std::string_view name = arg.substr(0, equals);
        const OptionRow* row = FindOption(name);
        if (row == nullptr) {
            *error = "unknown option '" + std::string(arg) + "' (see --help)";
            return false;
        }
        bool inlineValue = equals != std::string_view::npos;
        if (!row->TakesValue && inlineValue) {
            *error = std::string(row->Name) + " takes no value";
            return false;
        }
        if (row->TakesValue && !inlineValue && i + 1 == argc) {
            *error = std::string(row->Name) + " needs a value";
            return false;
        }
        std::string_view value = !row->TakesValue ? std::string_view()
                                 : inlineValue    ? arg.substr(equals + 1)
                                                  : argv[++i];
        if (!row->Run(value, options, error)) {
            *error = std::string(row->Name) + ": " + *error;
            return false;
        }
    }
    return true;
}

std::string SimUsage() {
    return std::string(R"(Usage: zrvlink-sim [OPTION]...
A simulated ZRV-Link device on a pseudo-terminal (pty). The first line on standard output is the path
of the pty (for example /dev/pts/3); open it as a serial port at any baud rate. The simulator runs until
SIGTERM, SIGINT or SIGHUP, or until --close-after unplugs it.

Options (each as "--name VALUE" or "--name=VALUE"; a later one overrides an earlier one):
  --link PATH           also make PATH a symlink to the pty (an older symlink there is replaced);
                        removed at the end
  --load FILE           start with the state of setup file FILE; without it: BaudRate 115200,
                        addresses 0.0.0.0, every destination disabled and unnamed
  --target-name I:TEXT  start with destination I named TEXT (after --load), kept whole: a name that
                        a setup file cannot hold (";", a blank at its end); may be given several times
  --state-out FILE      at the end, write the CURRENT state (everything the commands set, saved or
                        not) to FILE as a setup file
  --saved-out FILE      at the end, write the SAVED state (as of the last "save" answered "OK", else
                        the initial state) to FILE as a setup file
  --log FILE            write every received byte to FILE, raw, as it arrives (ESC and CR included)
  --vers-reply TEXT     answer "vers" with TEXT (default ")") +
           SIM_DEFAULT_VERSION + R"("); \r and \n in TEXT stand for a CR and an LF
  --save-reply TEXT     answer "save" with TEXT (default "OK"); with any other text nothing is saved
  --silent-after N      answer N lines, then hang: keep reading and logging, but answer and do nothing
  --close-after N       answer N lines, then close the pty (an unplugged device) as soon as the PC has
                        read the last reply or sends anything more; then end. The PC sees a hang-up.
  --stall-after N       answer N lines, then read nothing more: what the PC sends stays in the line
                        until it is full and the PC's writes stall (a device that stopped taking data)
  --delay MS            wait MS milliseconds before every reply
  --delay-command W:MS  wait MS milliseconds before replies to command word W instead (for example
                        name:1500); may be given for several words
  --ignore-set W[:I]    answer set command W (for destination I only, when given) as usual but keep
                        the old value, as a device whose setting does not stick (for example
                        target:3); may be given several times
  --garbage             put a byte that the PC must drop (0x00-0x1F other than CR and LF, 0x80-0xFF)
                        before every byte of every reply
  --byte-by-byte        send replies one byte per write, 1 ms apart
  --help                show this text and end
  --version             show the program's version and end

The device: the PC sends one command line ended by CR; the device never echoes. ESC discards a partial
line. LF is no line end: like any other control byte it makes its line an ERROR. Words are separated by
exactly one blank; numbers are decimal without sign or leading zero; addresses are dotted quads of them.
Every reply is TEXT, CR LF, then the prompt '>'. Set commands answer with empty text ("\r\n>").
  vers                    -> the version text
  baudrate                -> the baud rate, for example "115200"
  baudrate N              N from 1 to 2147483647
  netparam                -> "address A\r\nnetmask M\r\ngateway G", or "dhcp" when all three are 0.0.0.0
  netparam A M G          sets all three (0.0.0.0 0.0.0.0 0.0.0.0 is DHCP)
  target I                -> "a.b.c.d"; I from 0 to 31
  target I A
  enable I                -> "0" or "1"
  enable I V              V is 0 or 1
  name I                  -> the name, empty text when there is none
  name I TEXT             TEXT: the rest of the line, 1 to 64 printable characters without '>'
  clrname I               the name becomes empty
  save                    -> "OK" (see --save-reply); the current state becomes the saved state
  update                  counted; changes nothing
  (empty line)            -> empty text
Any other line, or a bad index, number, address or name, is answered "ERROR" and changes nothing.
Lines after --silent-after or --close-after ran out are neither answered nor carried out.

Exit status: 0 after a signal or an unplug; 1 when the pty, the log or a state file fails;
2 for a bad command line.
)";
}
