// The files around libpq that each system names its own way: the roots the Linux side made, and the folder
// where libpq looks for the user's own root.crt; seam header of the TLS tests, one backend per system.
#pragma once

#include <string>

// The name by which this program opens the file that the Linux side calls `path`.
std::string ProgramPath(const std::string& path);

// Called once: the folder where libpq looks for the user's root.crt when a connection names none, as libpq
// writes it in its messages, made now: on Linux under a scratch $HOME that it sets, on Windows in the
// user's application data folder (a test runs in a Wine prefix of its own). Empty when it cannot.
std::string UserPqFolder();
