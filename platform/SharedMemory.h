// Anonymous shareable memory: the stand-in for a page-file-backed file-mapping
// object. The handle is a descriptor (always > 0), so a second view of the same
// pages can be mapped later, as a drawing surface does over an image's pixels.
#pragma once

#include <cstddef>
#include <cstdint>

using THandle = std::intptr_t;

// Creates a zero-filled object of size bytes; returns 0 when the system refuses.
THandle CreateSharedMemory(std::size_t size);
// Maps the whole object read-write; returns nullptr on failure.
void* MapSharedMemory(THandle handle);
// Unmaps a view made by MapSharedMemory of that handle; false on failure.
bool UnmapSharedMemory(THandle handle, void* view);
// Closes the handle; false on failure.
bool CloseSharedMemory(THandle handle);

// Makes the pages of a range present and writable in one call, instead of one
// fault per page while it is being filled. Only a hint: a system that cannot do
// it leaves the range as it was. Any memory may be named; only whole pages
// inside the range are touched.
void PrefaultForWriting(void* address, std::size_t length);
