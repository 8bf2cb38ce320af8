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

// Released objects are kept for reuse: on this kind of system, creating and
// first touching pages costs many times more than clearing pages that are
// already there, and images of one size come and go together (every conversion
// releases an image of the size it has just made; a preview is redrawn again and
// again). A few objects, and a bounded number of bytes, are kept.
// A view that anyone else mapped of a kept object must be gone before release.

// Takes a kept object of exactly size bytes, cleared to zero unless the caller
// overwrites it whole anyway (clear false); false when none is kept.
bool ReuseSharedMemory(std::size_t size, THandle& handle, void*& view, bool clear = true);
// Keeps a released object (its view stays mapped) instead of unmapping and
// closing it; false when it is too large to keep, and the caller releases it.
bool KeepSharedMemory(THandle handle, void* view);
// Unmaps and closes every kept object; returns how many there were.
std::size_t DropKeptSharedMemory();

// Asks for large pages over a range of private (heap) memory: fewer faults and
// fewer address translations over a whole image. Only a hint.
void PreferLargePages(void* address, std::size_t length);

// Makes the pages of a range present and writable in one call, instead of one
// fault per page while it is being filled. Only a hint: a system that cannot do
// it leaves the range as it was. Any memory may be named; only whole pages
// inside the range are touched.
void PrefaultForWriting(void* address, std::size_t length);
