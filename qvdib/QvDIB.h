// The DIB image library's public header: TQvDIB, the image class, with its
// exceptions and the storage it shares by reference counting.
#pragma once

#include "platform/Color.h"
#include "qvdib/DIBStorage.h"
#include "qvdib/PixelFormat.h"
#include "qvdib/QvDIBErrors.h"
#include "qvdib/QvGraph.h"

#include <cstdint>
#include <string>

// The UseFMO of every storage that a new TQvDIB creates.
inline constexpr bool kDefaultUseFMO = true;
// The clipboard format of a packed DIB.
inline constexpr std::uint16_t CF_DIB = 8;

class TQvDIB : public TQvGraphic {
public:
    // A 1 x 1, 8-bit image with 256 black palette entries, its pixel memory
    // shareable (kDefaultUseFMO).
    TQvDIB();
    // The same with heap memory when useFMO is false: for programs that never
    // draw into an image through a second view, such as batch conversions.
    explicit TQvDIB(bool useFMO);
    ~TQvDIB() override;
    TQvDIB(const TQvDIB&) = delete;
    TQvDIB& operator=(const TQvDIB&) = delete;

    std::string ClassName() const override { return "TQvDIB"; }

    // Shares the storage of another TQvDIB; nil gives the default image.
    void Assign(const TPersistent* source) override;

    bool GetEmpty() const override { return false; }
    int GetWidth() const override;
    int GetHeight() const override;
    void SetWidth(int value) override;
    void SetHeight(int value) override;
    int GetBitCount() const;
    void SetBitCount(int value);
    int GetPaletteSize() const;
    void SetPaletteSize(int value);
    TColor GetColors(int index) const;
    void SetColors(int index, TColor color);
    // First byte of pixel row y, row 0 being the top of the picture. Writing
    // through it changes this image only and notifies nobody.
    std::uint8_t* GetScanLine(int y);
    bool GetUseFMO() const;
    std::uint16_t GetClipboardFormat() const override { return CF_DIB; }

    // The storage format. Writing it converts the picture in place through a
    // fixed chain of routines; a failure leaves the image as it was.
    TQvPixelFormat GetPixelFormat() const;
    void SetPixelFormat(TQvPixelFormat value);

    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;

    // Conversion settings: read at the next conversion or drawing.
    std::uint8_t ConvertMode = 0; // 0 fast, 1 high quality
    TColor MonoColor = clWhite;   // becomes index 1 when reduced to 1 bit
    std::uint8_t HalfToneMode = 0;

    // Progress of the running conversion, announced through OnProgress.
    std::int32_t ProgressCount = 0;
    std::int32_t ProgressMax = 0;
    std::string ProgressMessage;
    void InitProgress(std::int32_t max, const std::string& message);
    void StartProgress();
    void ProgressStep();
    void EndProgress();

    // The storage, for the library's own routines and for inspection.
    const TQvInternalDIB& Storage() const { return *InternalDIB; }
    // Makes the storage private before a write (copy-on-write).
    void UniqueDIB();

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    void ReleaseInternalDIB();
    void UpdatePaletteModified();
    // Asserts that the storage exists: "<operation>: InternalDIB Should not be Nil".
    void RequireStorage(const char* operation) const;
    // Builds a new storage with fill, and swaps it in only when fill succeeded.
    template <class Fill> void ReplaceStorage(Fill fill);
    void ReplaceWithBlank(int width, int height, int paletteSize, int bitCount);
    TRect ProgressRect() const { return TRect{0, 0, GetWidth(), GetHeight()}; }

    TQvInternalDIB* InternalDIB = nullptr; // shared, counted by RefCount; never nil while alive
};
