// Setup files on POSIX paths that are no regular files.
#include "TestFiles.h"
#include "core/ParamFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TEST(SetupFileLoad, FifoIsRefusedWithoutWaitingForAWriter) {
    const std::string path = TempFilePath("fifo");
    ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
    CParamFile file;
    EXPECT_FALSE(file.Load(path.c_str())); // would block for ever in a plain open for reading
    EXPECT_EQ(FILE_ERROR_OPEN, file.FileError);
    unlink(path.c_str());
}

} // namespace
