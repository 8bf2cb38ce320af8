// Saving a file without ever leaving it half-written: the bytes go to a
// temporary file beside the target, and only a complete, flushed file is
// renamed over it. Until then, and after any failure, the previous target
// stays whole.
#pragma once

#include "platform/Stream.h"

#include <string>

class AtomicFile final : public TStream {
public:
    // Creates the temporary file in the target's folder. A target that is a
    // symbolic link is saved through it, so the link stays a link.
    // EFCreateError "Cannot create file "target". reason" when the folder refuses.
    explicit AtomicFile(const std::string& target);
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Write-only: reads give nothing.
    std::size_t Read(void* buffer, std::size_t count) override;
    // A short write is remembered; such a file is never committed.
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    // Flushes the bytes to disk, gives the file the target's permissions (or the
    // usual ones for a new file) and renames it over the target. On failure the
    // temporary file is removed, the target is untouched, and EWriteError
    // "Cannot write file "target". reason" is raised.
    void Commit();

    const std::string& Target() const { return target_; }

private:
    void Fail(const std::string& reason);
    void RemoveTemporary();

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    int writeErrno_ = 0; // errno of the first failed write; 0 while every byte arrived
    bool committed_ = false;
};
