#include "platform/Stream.h"

#include "platform/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

std::int64_t TStream::Size()
{
    const std::int64_t here = Position();
    const std::int64_t end = Seek(0, TSeekOrigin::soEnd);
    Seek(here, TSeekOrigin::soBeginning);
    return end;
}

std::int64_t TStream::Remaining()
{
    return std::max<std::int64_t>(0, Size() - Position());
}

void TStream::ReadBuffer(void* buffer, std::size_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode)
{
    if (mode == TFileMode::fmOpenRead) {
        fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
    } else {
        fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
    }
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t ReadDescriptor(int fd, void* buffer, std::size_t count)
{
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, out + done, count - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += std::size_t(got);
    }
    return done;
}

std::size_t WriteDescriptor(int fd, const void* buffer, std::size_t count, int& error)
{
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(fd, in + done, count - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            error = put < 0 ? errno : ENOSPC;
            break;
        }
        done += std::size_t(put);
    }
    return done;
}

std::int64_t SeekDescriptor(int fd, std::int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent   ? SEEK_CUR
                                                          : SEEK_END;
    const off_t position = fd < 0 ? -1 : ::lseek(fd, off_t(offset), whence);
    if (position < 0)
        throw EStreamError(std::string("Stream seek error. ") + std::strerror(fd < 0 ? EBADF : errno));
    return std::int64_t(position);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    return ReadDescriptor(fd_, buffer, count);
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count)
{
    int error = 0;
    return WriteDescriptor(fd_, buffer, count, error);
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    return SeekDescriptor(fd_, offset, origin);
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count)
{
    if (position_ >= data_.size())
        return 0;
    const std::size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count)
{
    if (count == 0)
        return 0;
    if (data_.size() < position_ + count)
        data_.resize(position_ + count);
    std::memcpy(data_.data() + position_, buffer, count);
    position_ += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                            : origin == TSeekOrigin::soCurrent   ? std::int64_t(position_)
                                                                 : std::int64_t(data_.size());
    const std::int64_t target = base + offset;
    if (target < 0)
        throw EStreamError("Stream seek error. Negative position");
    position_ = std::size_t(target);
    return target;
}
