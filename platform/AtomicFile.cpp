#include "platform/AtomicFile.h"

#include "platform/Exceptions.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A link is followed to the file it names, so that saving replaces that file
// and not the link. A target that does not exist yet is used as given.
std::string ResolveTarget(const std::string& target)
{
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return target;
    char resolved[PATH_MAX];
    return ::realpath(target.c_str(), resolved) != nullptr ? std::string(resolved) : target;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A hidden name beside the target that no other save uses at the same time.
// O_EXCL makes the choice safe; 0666 lets the umask decide a new file's mode.
int CreateTemporary(const std::string& target, std::string& temporary)
{
    std::random_device seed;
    std::mt19937 random(seed());
    const std::string stem = FolderOf(target) + "/." + NameOf(target) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = stem + std::to_string(random() % 1000000000u) + ".tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The rename is only durable once the folder itself is flushed. A folder that
// cannot be flushed (some file systems refuse) does not undo the save.
void FlushFolder(const std::string& path)
{
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

AtomicFile::AtomicFile(const std::string& target) : target_(ResolveTarget(target))
{
    fd_ = CreateTemporary(target_, temporary_);
    if (fd_ < 0)
        throw EFCreateError("Cannot create file \"" + target + "\". " + std::strerror(errno));
}

AtomicFile::~AtomicFile()
{
    if (!committed_)
        RemoveTemporary();
}

void AtomicFile::RemoveTemporary()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

std::size_t AtomicFile::Read(void*, std::size_t)
{
    return 0;
}

std::size_t AtomicFile::Write(const void* buffer, std::size_t count)
{
    if (fd_ < 0 || writeErrno_ != 0)
        return 0;
    return WriteDescriptor(fd_, buffer, count, writeErrno_);
}

std::int64_t AtomicFile::Seek(std::int64_t offset, TSeekOrigin origin)
{
    return SeekDescriptor(fd_, offset, origin);
}

void AtomicFile::Fail(const std::string& reason)
{
    RemoveTemporary();
    throw EWriteError("Cannot write file \"" + target_ + "\". " + reason);
}

void AtomicFile::Commit()
{
    if (fd_ < 0)
        Fail("The file was already saved or discarded");
    if (writeErrno_ != 0)
        Fail(std::strerror(writeErrno_));
    // An existing target keeps its permission bits; a new file keeps what the umask gave.
    struct stat info {};
    if (::stat(target_.c_str(), &info) == 0 && ::fchmod(fd_, info.st_mode & 07777) != 0)
        Fail(std::strerror(errno));
    if (::fsync(fd_) != 0)
        Fail(std::strerror(errno));
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0)
        Fail(std::strerror(errno));
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        Fail(std::strerror(errno));
    temporary_.clear();
    committed_ = true;
    FlushFolder(target_);
}
