// What a zrvlink command ends with: the exit status and the lines that report it, in the setup
// program's words; portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum CliExit : int {
    EXIT_OK = 0,
    EXIT_DIFFERENT = 1, // diff: the configurations differ
    EXIT_USAGE = 2,
    EXIT_NO_DEVICE = 10,
    EXIT_PORT = 11,
    EXIT_COMM = 12,
    EXIT_HARDWARE = 13,
    EXIT_RESOURCE = 14,
    EXIT_VERIFY = 15,
    EXIT_FILE_LOAD = 21,
    EXIT_FILE_SAVE = 22,
    EXIT_FILE_CONTENT = 23,
    // provision
    EXIT_UNITS_LEFT = 30,  // stopped (Ctrl-C, --once) with units of the plan not done
    EXIT_UNIT_FAILED = 31, // a unit's write may have reached its device's save and did not end well
    EXIT_REFUSED = 32,     // the plan or the record was refused, or the record could not be written
};

struct CliOutcome {
    int Exit = EXIT_OK;
    std::vector<std::string> Lines; // without line ends; empty on success
};

// The failure `exit` with its one message (for EXIT_PORT use PortFailure).
CliOutcome Failure(int exit);
// The port that could not be opened, named, with the reason that the system's error code gives (none
// for 0).
CliOutcome PortFailure(const std::string& port, int32_t systemError = 0);

// Why a port did not open, in words for the user: a hint for the codes that have one, else the
// system's own text; empty for 0.
std::string PortOpenReason(int32_t systemError);

// The setup program's message for a failure; empty for success, EXIT_PORT and unknown codes.
const char* ExitMessage(int exit);

// The exit status of an engine result (PT_OK and PT_ERR_*).
int ExitOfTransfer(int32_t result);
// The exit status of a failed load (FileError 1 or 3).
int ExitOfLoad(int32_t fileError);

// Flushes stdout. False when it did not take everything printed to it (a full disk, a closed pipe): a
// report that was lost is a failure like a setup file that could not be saved (EXIT_FILE_SAVE).
bool FlushStdout();

// A parallel run's report of one port: "OK", or the lines joined by "; ".
std::string ResultLineOf(const CliOutcome& outcome);
