// A parallel run of zrvlink: the child's command line per port, output file names, result lines;
// portable.
#pragma once

#include "cli/common/CliRequest.h"
#include "cli/common/SetupFiles.h"

#include <string>
#include <vector>

// The arguments (without the program) of the child that does `request` on `port` alone and reports
// with one line on stdout.
std::vector<std::string> ChildArguments(const CliRequest& request, const std::string& port);

// "PORT: REPORT", and for a read that succeeded the file it made: "PORT: OK DIR/NAME.dat". REPORT is the
// first line of the child's output.
std::string BatchResultLine(const CliRequest& request, const std::string& port,
                            const std::string& childOutput);

// The report of a child that could not give its own: "WARNING: WHAT" ("crashed (signal 11)"), then ": "
// and the last line that the child wrote to stderr, when it wrote one.
std::string ChildFailureReport(const std::string& what, const std::string& errors);
