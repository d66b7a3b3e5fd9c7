// CSimDevice: the simulated ZRV-Link's command interpreter, state and misbehaviour; device side of the
// serial link, free of any I/O so that it can be driven byte by byte.
#pragma once

#include "core/ParamSet.h"

#include <string>
#include <string_view>
#include <vector>

constexpr const char* SIM_DEFAULT_VERSION = "ZRV-Link simulator 1.0";
constexpr int SIM_LINE_SIZE = 256; // a command line of up to 255 characters; longer lines are errors

// Answers one command word with its own delay instead of the common one.
struct SimCommandDelay {
    std::string Word;
    int DelayMs;
};

// A set command that the device answers as usual but does not carry out: a value that does not stick.
struct SimIgnoredSet {
    std::string Word;
    int Index; // the destination; -1: every one (and the only choice for baudrate and netparam)
};

// Who the device claims to be and how it misbehaves. The defaults describe a well-behaved device.
struct SimBehaviour {
    std::string Version = SIM_DEFAULT_VERSION;
    std::string SaveReply = "OK"; // the device saves only when it answers "OK"
    int SilentAfter = -1;         // answer this many lines, then hang: read on, answer and do nothing
    int CloseAfter = -1;          // answer this many lines, then be unplugged
    int StallAfter = -1;          // answer this many lines, then take no more bytes from the line
    int DelayMs = 0;              // before every reply
    std::vector<SimCommandDelay> CommandDelays;
    bool Garbage = false; // put a byte the PC must drop before every byte of every reply
    std::vector<SimIgnoredSet> IgnoredSets;
};

// What the device sends for one command line.
struct SimReply {
    std::string Bytes; // text, CR LF, prompt; garbage included
    int DelayMs;
};

struct SimCounters {
    int Lines = 0;      // every line ended by CR, answered or not
    int Errors = 0;     // lines answered with ERROR
    int Unanswered = 0; // lines after --silent-after or --close-after ran out
    int Saves = 0;      // "save" lines answered, whatever the reply
    int Updates = 0;
};

// Text that the device can store and send back: printable ASCII without the prompt character.
bool IsReplyableText(std::string_view text);
// A name that "name I TEXT" takes: 1 to 64 characters of replyable text.
bool IsStorableName(std::string_view text);

class CSimDevice {
public:
    explicit CSimDevice(SimBehaviour behaviour);

    // Both the current and the saved state, as a device that has just started with them.
    void SetState(const ParamSet& state);

    // Takes one received byte; true when it ended a line that is answered, with the answer in `reply`.
    bool PutByte(unsigned char byte, SimReply* reply);

    // The device has answered all the lines --close-after allows and is to be unplugged.
    bool IsUnplugged() const;
    // The device has taken all the lines --stall-after allows and reads nothing more.
    bool IsStalled() const;

    const ParamSet& Current() const { return m_current; }
    const ParamSet& Saved() const { return m_saved; }
    const SimCounters& Counters() const { return m_counters; }

    // One of the command words the device knows ("vers", "baudrate", ...).
    static bool IsCommandWord(std::string_view word);
    // A command word with a set form; `indexed` tells whether that form names a destination.
    static bool IsSetWord(std::string_view word, bool* indexed);

private:
    struct Args {
        std::string_view Item[3];
        int Count;
    };
    using Handler = bool (CSimDevice::*)(const Args& args, std::string* text);
    struct Command {
        const char* Word;
        int MaxArgs;  // the last one takes the rest of the line, blanks included
        int SetArgs;  // the number of arguments of the set form; 0: none
        bool Indexed; // the first argument is a destination
        Handler Run;
    };
    static const Command COMMANDS[];
    static const Command* FindCommand(std::string_view word);

    bool Answers() const;
    bool Ignores(const Command& command, const Args& args) const;
    bool Execute(std::string_view line, std::string* text);
    int DelayFor(std::string_view line) const;
    std::string Frame(const std::string& text);
    void ResetLine();
    // The destination an index argument names; null when it names none.
    ParamTarget* TargetOf(std::string_view index);

    bool Vers(const Args& args, std::string* text);
    bool Baudrate(const Args& args, std::string* text);
    bool Netparam(const Args& args, std::string* text);
    bool Target(const Args& args, std::string* text);
    bool Enable(const Args& args, std::string* text);
    bool Name(const Args& args, std::string* text);
    bool Clrname(const Args& args, std::string* text);
    bool Save(const Args& args, std::string* text);
    bool Update(const Args& args, std::string* text);

    SimBehaviour m_behaviour;
    ParamSet m_current;
    ParamSet m_saved;
    SimCounters m_counters;
    char m_line[SIM_LINE_SIZE] = {};
    int m_lineLength = 0;
    bool m_lineBad = false; // a byte the device does not take in a line, or too many of them
    unsigned m_garbageNext = 0;
};
