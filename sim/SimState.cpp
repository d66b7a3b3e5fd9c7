// The simulated device's state in setup-file form; device side of the serial link.
#include "sim/SimState.h"

#include "persistence/ParamFile.h"
#include "sim/SimDevice.h"

bool LoadSimState(const std::string& path, ParamSet* state, std::string* error) {
    CParamFile file;
    if (!file.Load(path.c_str())) {
        *error = "cannot load " + path +
                 (file.FileError == FILE_ERROR_OPEN ? ": it cannot be opened" : ": its content is rejected");
        return false;
    }
    for (int i = 0; i < TARGET_COUNT; ++i) {
        if (!IsReplyableText(file.GetParam()->Target[i].Name)) {
            // The device could not send such a name back without breaking its replies.
            *error = "cannot load " + path + ": the name of Target" + std::to_string(i) +
                     " holds a control character, a byte above 0x7E or '>'";
            return false;
        }
    }
    *state = *file.GetParam();
    return true;
}

bool SaveSimState(const std::string& path, const ParamSet& state, std::string* error) {
    CParamFile file;
    *file.GetParam() = state;
    if (!file.Save(path.c_str())) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}
