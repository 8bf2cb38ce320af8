#include "platform/SharedMemory.h"

#include <algorithm>
#include <cstring>
#include <deque>
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

struct KeptObject {
    THandle handle;
    void* view;
    std::size_t length;
};

constexpr std::size_t kMaxKeptObjects = 4;
constexpr std::size_t kMaxKeptBytes = std::size_t(256) << 20;

// The library runs on one thread, so the kept objects need no lock.
class KeptObjects {
public:
    ~KeptObjects() { DropAll(); }

    bool Take(std::size_t length, THandle& handle, void*& view)
    {
        const auto found = std::find_if(kept_.rbegin(), kept_.rend(),
                                         [length](const KeptObject& o) { return o.length == length; });
        if (found == kept_.rend())
            return false;
        handle = found->handle;
        view = found->view;
        bytes_ -= found->length;
        kept_.erase(std::next(found).base());
        return true;
    }

    bool Keep(THandle handle, void* view, std::size_t length)
    {
        if (length == 0 || length > kMaxKeptBytes)
            return false;
        while (!kept_.empty() && (kept_.size() >= kMaxKeptObjects || bytes_ + length > kMaxKeptBytes))
            DropOldest();
        kept_.push_back({handle, view, length});
        bytes_ += length;
        return true;
    }

    std::size_t DropAll()
    {
        const std::size_t count = kept_.size();
        while (!kept_.empty())
            DropOldest();
        return count;
    }

private:
    void DropOldest()
    {
        const KeptObject& o = kept_.front();
        ::munmap(o.view, o.length);
        ::close(int(o.handle));
        bytes_ -= o.length;
        kept_.pop_front();
    }

    std::deque<KeptObject> kept_;
    std::size_t bytes_ = 0;
};

KeptObjects& Kept()
{
    static KeptObjects kept;
    return kept;
}

} // namespace

bool ReuseSharedMemory(std::size_t size, THandle& handle, void*& view, bool clear)
{
    // Objects are made at least one byte long, as CreateSharedMemory does.
    const std::size_t length = std::max<std::size_t>(size, 1);
    if (!Kept().Take(length, handle, view))
        return false;
    if (clear)
        std::memset(view, 0, length);
    return true;
}

bool KeepSharedMemory(THandle handle, void* view)
{
    return view != nullptr && handle > 0 && Kept().Keep(handle, view, MappedLength(handle));
}

std::size_t DropKeptSharedMemory()
{
    return Kept().DropAll();
}

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

void PreferLargePages(void* address, std::size_t length)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLargePage = std::uintptr_t(2) << 20;
    const auto begin = (std::uintptr_t(address) + kLargePage - 1) / kLargePage * kLargePage;
    const auto end = (std::uintptr_t(address) + length) / kLargePage * kLargePage;
    if (begin < end)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)address;
    (void)length;
#endif
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
