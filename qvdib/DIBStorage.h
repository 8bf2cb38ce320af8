// Reference-counted DIB storage, its pixel memory allocator, and the unit
// routines every producer of a DIB uses.
#pragma once

#include "platform/LogicalPalette.h"
#include "platform/Stream.h"
#include "qvdib/DIBTypes.h"

#include <cstdint>

enum class TQvPixelFormat : std::uint8_t;

// What a caller does with new pixel memory: most fill part of it and rely on
// the rest being zero; a few overwrite every byte (a file read, a copy), and
// memory reused from an earlier image need not be cleared for them.
enum class TMemoryContent { Zeroed, Overwritten };

// Allocates size bytes of zero-filled pixel memory: an anonymous shareable
// mapping when useFMO is true, the heap otherwise. A size that no DIB can have
// (negative, or above kMaxBitsSize) is refused like a failed allocation.
void GetMemory(std::int64_t size, THandle& fileMapping, std::uint8_t*& bits, bool useFMO,
               TMemoryContent content = TMemoryContent::Zeroed);
// Releases memory from GetMemory made with the same useFMO; the view is unmapped
// before its handle is closed.
void ReleaseMemory(THandle fileMapping, std::uint8_t* bits, bool useFMO);
// 1 -> 2, 4 -> 16, 8 -> 256, anything else -> 0.
int GetNumColors(int bitCount);
// A new logical palette from the first biClrUsed entries of the colour table;
// 0 when biClrUsed is 0.
HPALETTE GetPaletteFromDIBInfos(const TQvDIBInfos& infos);

// Pixel memory owned by a routine until it hands it to a TQvDIBInfos; released
// on every path that does not.
class PixelBuffer {
public:
    PixelBuffer(std::int64_t size, bool useFMO, TMemoryContent content = TMemoryContent::Zeroed);
    ~PixelBuffer();
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    std::uint8_t* Bits() const { return bits_; }
    std::int32_t Size() const { return size_; }
    // Gives BitsSize, FileMapping and Bits to infos; the buffer owns nothing afterwards.
    void MoveInto(TQvDIBInfos& infos);

private:
    THandle fileMapping_ = 0;
    std::uint8_t* bits_ = nullptr;
    std::int32_t size_ = 0;
    bool useFMO_;
};

// A TQvDIBInfos that releases its pixel memory when it goes out of scope unless
// it was handed on: the local record of a reader or a conversion step.
class OwnedDIBInfos {
public:
    explicit OwnedDIBInfos(bool useFMO) : useFMO_(useFMO) {}
    ~OwnedDIBInfos();
    OwnedDIBInfos(const OwnedDIBInfos&) = delete;
    OwnedDIBInfos& operator=(const OwnedDIBInfos&) = delete;

    TQvDIBInfos& operator*() { return infos_; }
    TQvDIBInfos* operator->() { return &infos_; }
    const TQvDIBInfos& Get() const { return infos_; }
    // The record with its memory; this object owns nothing afterwards.
    TQvDIBInfos Release();

private:
    TQvDIBInfos infos_{};
    bool useFMO_;
};

// The storage behind one or more TQvDIB objects: one DIB with its header,
// colour table, pixel memory and cached logical palette.
class TQvInternalDIB {
public:
    // A 1 x 1, 8-bit DIB with 256 black palette entries.
    explicit TQvInternalDIB(bool useFMO);
    ~TQvInternalDIB();
    TQvInternalDIB(const TQvInternalDIB&) = delete;
    TQvInternalDIB& operator=(const TQvInternalDIB&) = delete;

    // A new blank DIB. EQvDIBInvalidDIBPara when an argument is out of range or
    // the image could not be held in memory; the storage is then unchanged.
    void CreateDIB(int width, int height, int paletteSize, int bitCount);
    // Releases the pixel memory and the cached palette; header and colour table stay.
    void FreeDIB();
    // Drops the cached palette and flags the palette as modified.
    void UpdatePalette();
    // A new logical palette from the colour table; not cached here.
    HPALETTE GetPalette() const;

    // Replaces the image by the BMP file read from the stream's position, or
    // raises and leaves the storage as it was.
    void LoadFromStream(TStream& stream);
    // Writes the image as a BMP file at the stream's position.
    void SaveToStream(TStream& stream) const;

    TQvPixelFormat GetPixelFormat() const;
    void SetPixelsFormat(TQvPixelFormat target, std::uint8_t mode, std::uint32_t color,
                         const TQvProgressProc& progress);

    // Swap protocol of the readers: takes over a complete new image.
    void CommitLoaded(TQvDIBInfos loaded);
    // Swap protocol of the conversions: releases the old pixels, takes the new record.
    void CommitConverted(TQvDIBInfos converted);

    std::int32_t RefCount = 1;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    HPALETTE Palette = 0;
    TQvDIBInfos DIBInfos{};
    bool PaletteModified = false;
    const bool UseFMO;
};
