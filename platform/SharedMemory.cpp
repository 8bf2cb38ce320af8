#include "platform/SharedMemory.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A mapping cannot be empty, so an object of 0 bytes still gets one page.
std::size_t MappedLength(THandle handle)
{
    struct stat info {};
    if (::fstat(int(handle), &info) != 0)
        return 0;
    return std::size_t(info.st_size);
}

} // namespace

THandle CreateSharedMemory(std::size_t size)
{
    int fd = ::memfd_create("qvdib-pixels", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    // 0 means "no mapping"; a process started without standard input can be
    // handed descriptor 0, so move it out of the way.
    if (fd == 0) {
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
        ::close(fd);
        if (moved < 0)
            return 0;
        fd = moved;
    }
    if (::ftruncate(fd, off_t(std::max<std::size_t>(size, 1))) != 0) {
        ::close(fd);
        return 0;
    }
    return fd;
}

void* MapSharedMemory(THandle handle)
{
    const std::size_t length = MappedLength(handle);
    if (length == 0)
        return nullptr;
    void* view = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, int(handle), 0);
    return view == MAP_FAILED ? nullptr : view;
}

bool UnmapSharedMemory(THandle handle, void* view)
{
    const std::size_t length = MappedLength(handle);
    return view != nullptr && length != 0 && ::munmap(view, length) == 0;
}

bool CloseSharedMemory(THandle handle)
{
    return handle > 0 && ::close(int(handle)) == 0;
}

void PrefaultForWriting(void* address, std::size_t length)
{
#ifdef MADV_POPULATE_WRITE
    const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const auto begin = (std::uintptr_t(address) + page - 1) / page * page;
    const auto end = (std::uintptr_t(address) + length) / page * page;
    if (begin < end)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)address;
    (void)length;
#endif
}
