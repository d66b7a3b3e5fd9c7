// Fuzz target: CParamFile::Load on arbitrary bytes (through a scratch file), and for every file it
// accepts whose lines a setup file can carry, that Save and Load give the same record back.
#include "persistence/ParamFile.h"
#include "persistence/SetupLines.h"

#include "SampleParams.h"
#include "TestFiles.h"

#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const CScratchDir dir;
    const std::string input = dir.Write("in.dat", std::string(reinterpret_cast<const char*>(data), size));
    CParamFile loaded;
    if (!loaded.Load(input.c_str())) {
        Check(loaded.FileError == FILE_ERROR_CONTENT); // the file was just written: it opens
        return 0;
    }
    // A name cut at 64 characters may end in a blank that the reader trims on the next load: by the file
    // format's rules such a record cannot come back the same, and the format's own check says so.
    if (FindUncarriedSetupLine(*loaded.GetParam()) >= 0) {
        return 0;
    }
    CParamFile again;
    const std::string saved = dir.File("saved.dat");
    Check(loaded.Save(saved.c_str()) && again.Load(saved.c_str()) &&
          SameRecord(*loaded.GetParam(), *again.GetParam()) && again.KeysLoaded == 36);
    return 0;
}
