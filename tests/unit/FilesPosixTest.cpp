// The files the station and the command line are given, on POSIX: a ledger's journal for its owner alone,
// and no save or record through a link that another user planted in a shared folder.
#include "persistence/SetupFileIO.h"
#include "platform/SystemError.h"
#include "provisioning/Record.h"
#include "provisioning/RecordLog.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A ledger's journal is its owner's alone, even one an earlier version made for all; a record is as the
// umask lets every new file be.
TEST(RecordFile, AJournalIsForItsOwnerAloneAndARecordAsTheUmaskLets) {
    const CScratchDir dir;
    dir.Write("old.csv", RecordHeaderText());
    ::chmod((dir / "old.csv").c_str(), 0644);
    const mode_t mask = ::umask(022);
    const struct {
        const char* Name;
        RecordFileReaders Readers;
        mode_t Mode;
    } cases[] = {
        {"record.csv", RecordFileReaders::Everyone, 0644},
        {"journal.csv", RecordFileReaders::OwnerOnly, 0600},
        {"old.csv", RecordFileReaders::OwnerOnly, 0600},
    };
    for (const auto& c : cases) {
        CRecordLog log;
        std::string error;
        ASSERT_TRUE(log.Open(dir / c.Name, &error, RecordLogForm{"", c.Readers})) << error;
        struct stat info {};
        ASSERT_EQ(0, ::stat((dir / c.Name).c_str(), &info));
        EXPECT_EQ(c.Mode, info.st_mode & 0777) << c.Name;
    }
    ::umask(mask);
}

// In a folder that every user may write and that is sticky (/tmp), a link made by another user than this
// one and the folder's owner could lead a save or a record anywhere this user may write: both refuse it,
// say why, and leave its target as it was. Links of this user or of the folder's owner, and links in
// other folders, are followed as ever. Only root can make links of other users.
TEST(RecordFile, ALinkAnotherUserPlantedInASharedFolderIsNeitherSavedThroughNorAppendedTo) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to make links of other users";
    }
    const uid_t FOLDER_OWNER = 1234;
    const uid_t OTHER = 65534;
    const struct {
        mode_t Folder;
        uid_t LinkOwner;
        bool Followed;
    } cases[] = {
        {01777, OTHER, false}, {01777, FOLDER_OWNER, true}, {01777, 0, true},
        {00777, OTHER, true},  {01755, OTHER, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Folder) + " " + std::to_string(c.LinkOwner));
        const CScratchDir dir;
        const std::string target = dir.Write("target.csv", RecordHeaderText());
        const std::string shared = dir / "shared";
        const std::string link = shared + "/out.csv";
        ASSERT_EQ(0, ::mkdir(shared.c_str(), 0700));
        ASSERT_EQ(0, ::chown(shared.c_str(), FOLDER_OWNER, 0));
        ASSERT_EQ(0, ::chmod(shared.c_str(), c.Folder));
        ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str()));
        ASSERT_EQ(0, ::lchown(link.c_str(), c.LinkOwner, 0));
        CRecordLog log;
        std::string error;
        EXPECT_EQ(c.Followed, log.Open(link, &error)) << error;
        CReplacingFile save;
        EXPECT_EQ(c.Followed, save.Create(link.c_str()));
        if (!c.Followed) {
            EXPECT_EQ("record " + link + ": " + PLANTED_LINK_WORDS, error);
            EXPECT_EQ(PLANTED_LINK_ERROR, save.Error());
            EXPECT_EQ(RecordHeaderText(), ReadWholeFile(target));
        }
    }
}

} // namespace
