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
