// libpq's functions that the TLS tests call, loaded when the program runs as the ledger loads them (the
// Linux system's libpq.so.5; on Windows the libpq.dll beside the program), and the files around it that
// each system names its own way; seam header, one backend per system.
#pragma once

#include <libpq-fe.h>

#include <string>

struct PqFunctions {
    decltype(&PQconnectdb) Connect = nullptr;
    decltype(&PQstatus) Status = nullptr;
    decltype(&PQerrorMessage) ErrorMessage = nullptr;
    decltype(&PQsslInUse) SslInUse = nullptr;
    decltype(&PQexec) Exec = nullptr;
    decltype(&PQresultStatus) ResultStatus = nullptr;
    decltype(&PQgetvalue) GetValue = nullptr;
    decltype(&PQclear) Clear = nullptr;
    decltype(&PQfinish) Finish = nullptr;
};

// Loads libpq and finds its functions; false with `error` (which file, which function) when it cannot.
bool LoadPq(PqFunctions* functions, std::string* error);

// Backend: the address of libpq's function `name`, loading the library first; null with `error` when
// either fails.
void* FindPqFunction(const char* name, std::string* error);

// Backend: the name by which this program opens the file that the Linux side calls `path`.
std::string ProgramPath(const std::string& path);

// Backend, called once: the folder where libpq looks for the user's root.crt when a connection names none,
// as libpq writes it in its messages, made now: on Linux under a scratch $HOME that it sets, on Windows in
// the user's application data folder (a test runs in a Wine prefix of its own). Empty when it cannot.
std::string UserPqFolder();
