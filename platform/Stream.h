// Byte streams of the graphics framework: an abstract stream with whole-buffer
// reads and writes that fail loudly, a file stream and a memory stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads or writes up to count bytes and says how many moved.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Moves the position and returns the new one.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size();

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
    // Bytes between the position and the end; 0 when the position is past the end.
    std::int64_t Remaining();

    // Whole-buffer transfers: EReadError "Stream read error" or EWriteError
    // "Stream write error" when fewer bytes move than asked for.
    void ReadBuffer(void* buffer, std::size_t count);
    void WriteBuffer(const void* buffer, std::size_t count);
};

// Descriptor transfers shared by the file-backed streams.
// Reads until count bytes arrived or the file ended; returns the bytes read.
std::size_t ReadDescriptor(int fd, void* buffer, std::size_t count);
// Writes until count bytes are written or the system refuses; on a short write
// error is set to the reason (ENOSPC when none was given).
std::size_t WriteDescriptor(int fd, const void* buffer, std::size_t count, int& error);
// Moves the position; EStreamError "Stream seek error. reason" on failure.
std::int64_t SeekDescriptor(int fd, std::int64_t offset, TSeekOrigin origin);

enum class TFileMode { fmOpenRead, fmCreate };

// A file opened for reading or created (truncated) for writing. The descriptor
// is closed by the destructor.
class TFileStream final : public TStream {
public:
    // EFOpenError "Cannot open file "name". reason" or
    // EFCreateError "Cannot create file "name". reason".
    TFileStream(const std::string& fileName, TFileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    int Handle() const { return fd_; }

private:
    int fd_ = -1;
};

// A growable block of memory with a position, as the framework's memory stream.
class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::span<const std::uint8_t> bytes) : data_(bytes.begin(), bytes.end()) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return std::int64_t(data_.size()); }

    const std::vector<std::uint8_t>& Bytes() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
    std::size_t position_ = 0;
};
