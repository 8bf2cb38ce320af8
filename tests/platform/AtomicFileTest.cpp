#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"
#include "support/ExpectThrow.h"
#include "support/FileSizeLimit.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kOld = {'o', 'l', 'd'};

void WriteAll(AtomicFile& file, const Bytes& bytes)
{
    file.WriteBuffer(bytes.data(), bytes.size());
}

mode_t ModeOf(const std::string& path)
{
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

} // namespace

TEST(AtomicFile, TargetChangesOnlyAtCommitAndNoTemporaryStays)
{
    TempFolder folder;
    const std::string target = folder / "UNIT.BIN";
    WriteWholeFile(target, kOld);
    const Bytes fresh(70000, 0x5A);
    {
        AtomicFile file(target);
        WriteAll(file, fresh);
        EXPECT_EQ(ReadWholeFile(target), kOld) << "not yet committed";
        file.Commit();
    }
    EXPECT_EQ(ReadWholeFile(target), fresh);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"UNIT.BIN"});
}

TEST(AtomicFile, AbandonedSaveLeavesTheOldFileAndRemovesItsTemporary)
{
    TempFolder folder;
    const std::string target = folder / "a.pal";
    WriteWholeFile(target, kOld);
    {
        AtomicFile file(target);
        WriteAll(file, Bytes(10, 1));
    } // an exception between writing and committing ends here
    EXPECT_EQ(ReadWholeFile(target), kOld);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"a.pal"});
}

TEST(AtomicFile, FailedWriteIsNeverCommitted)
{
    TempFolder folder;
    const std::string target = folder / "a.bmp";
    WriteWholeFile(target, kOld);
    AtomicFile file(target);
    {
        FileSizeLimit limit(50);
        const Bytes bytes(100, 7);
        EXPECT_EQ(file.Write(bytes.data(), bytes.size()), 50u);
        EXPECT_EQ(file.Write(bytes.data(), 1), 0u) << "no later write closes the hole";
    }
    EXPECT_THROW_MESSAGE(file.Commit(), EWriteError, "Cannot write file \"" + target + "\". File too large");
    EXPECT_EQ(ReadWholeFile(target), kOld);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"a.bmp"});
}

TEST(AtomicFile, KeepsTheTargetsPermissionsAndGivesNewFilesTheUsualOnes)
{
    TempFolder folder;
    const std::string existing = folder / "kept.bmp";
    WriteWholeFile(existing, kOld);
    ::chmod(existing.c_str(), 0640);
    AtomicFile replace(existing);
    WriteAll(replace, Bytes(5, 1));
    replace.Commit();
    EXPECT_EQ(ModeOf(existing), 0640u);

    const mode_t mask = ::umask(0);
    ::umask(mask);
    const std::string created = folder / "new.bmp";
    AtomicFile make(created);
    make.Commit();
    EXPECT_EQ(ModeOf(created), 0666u & ~mask);
}

TEST(AtomicFile, SavingThroughALinkReplacesTheFileItNames)
{
    TempFolder folder;
    const std::string real = folder / "real.bmp";
    const std::string link = folder / "link.bmp";
    WriteWholeFile(real, kOld);
    std::filesystem::create_symlink(real, link);
    AtomicFile file(link);
    WriteAll(file, Bytes(4, 9));
    file.Commit();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(real), Bytes(4, 9));
}

TEST(AtomicFile, FolderThatDoesNotExistRaisesTheCreateError)
{
    EXPECT_THROW_MESSAGE(AtomicFile("/nonexistent/x.bmp"), EFCreateError,
                         "Cannot create file \"/nonexistent/x.bmp\". No such file or directory");
}
