// CParamFile construction defaults; portable.
#include "persistence/ParamFile.h"

#include "core/ParamKeys.h"

#include <cstring>

CParamFile::CParamFile() {
    std::memset(&m_param, 0, sizeof m_param);
    for (int i = 0; i < PARAM_KEY_COUNT; ++i) {
        ApplyParamKeyDefault(&m_param, PARAM_KEYS[i]);
    }
}
