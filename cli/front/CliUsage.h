// zrvlink's usage texts, for --help and usage errors: the program's, each command's, and notes that
// several commands share; each command's row in CliArgs.cpp names those of its text. Portable.
#pragma once

extern const char PROGRAM_USAGE[];
extern const char PORTS_USAGE[];
extern const char READ_USAGE[];
extern const char WRITE_USAGE[];
extern const char CHECK_USAGE[];
extern const char DIFF_USAGE[];
extern const char PROVISION_USAGE[];
extern const char LEDGER_USAGE[];

// The JSON form of a configuration, for read and check alike.
extern const char SETUP_JSON_NOTES[];
// How parallel runs end, for read and write alike.
extern const char PARALLEL_NOTES[];
