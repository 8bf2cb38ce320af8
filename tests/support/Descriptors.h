// Counts the descriptors the process holds, to show that pixel memory made by a
// routine was given back. Released objects that the allocator keeps for reuse
// are dropped first, so only memory still owned by someone is counted.
#pragma once

#include "platform/SharedMemory.h"

#include <filesystem>
#include <iterator>

inline int OpenDescriptors()
{
    DropKeptSharedMemory();
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return int(std::distance(std::filesystem::begin(fds), std::filesystem::end(fds)));
}
