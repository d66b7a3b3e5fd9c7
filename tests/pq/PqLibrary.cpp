// The table of libpq's functions filled through the system's loader; portable side of the seam.
#include "PqLibrary.h"

namespace {

template <class Function>
bool Find(Function* function, const char* name, std::string* error) {
    *function = reinterpret_cast<Function>(FindPqFunction(name, error));
    return *function != nullptr;
}

} // namespace

bool LoadPq(PqFunctions* functions, std::string* error) {
    return Find(&functions->Connect, "PQconnectdb", error) && Find(&functions->Status, "PQstatus", error) &&
           Find(&functions->ErrorMessage, "PQerrorMessage", error) &&
           Find(&functions->SslInUse, "PQsslInUse", error) && Find(&functions->Exec, "PQexec", error) &&
           Find(&functions->ResultStatus, "PQresultStatus", error) &&
           Find(&functions->GetValue, "PQgetvalue", error) && Find(&functions->Clear, "PQclear", error) &&
           Find(&functions->Finish, "PQfinish", error);
}
