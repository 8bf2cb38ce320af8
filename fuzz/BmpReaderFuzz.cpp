// Untrusted BMP files through the reader. Every input must either load or be
// refused with one of the library's or the platform's exceptions. A loaded
// plain image must have every row inside its pixel memory, and what the writer
// makes of a loaded image must read back to the same image.
#include "qvdib/QvDIB.h"

#include <cstdlib>
#include <cstring>
#include <span>

namespace {

// Larger inputs only repeat what small ones reach, and slow the search down.
constexpr std::size_t kMaxInputSize = 1 << 20;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void TouchEveryRow(TQvDIB& dib)
{
    const BITMAPINFOHEADER& h = dib.Storage().DIBInfos.Header;
    if (h.biCompression != BI_RGB)
        return;
    const auto stride = DIBStride(h.biBitCount, h.biWidth);
    for (int y = 0; y < dib.GetHeight(); ++y) {
        std::uint8_t* row = dib.GetScanLine(y);
        row[0] ^= 0;
        row[stride - 1] ^= 0;
    }
}

// Bit-field masks stay in the colour table of a 1- to 24-bit image and are not
// written as masks, so such an image is the one kind that need not read back.
void CheckRoundTrip(const TQvDIB& dib)
{
    const TQvDIBInfos& a = dib.Storage().DIBInfos;
    if (a.Header.biCompression == BI_BITFIELDS)
        return;
    TMemoryStream saved;
    dib.SaveToStream(saved);
    saved.SetPosition(0);
    TQvDIB again;
    again.LoadFromStream(saved);
    const TQvDIBInfos& b = again.Storage().DIBInfos;
    Check(std::memcmp(&a.Header, &b.Header, sizeof a.Header) == 0);
    Check(std::memcmp(a.ColorTable, b.ColorTable, kMaxPaletteSize * sizeof(RGBQUAD)) == 0);
    Check(a.BitsSize == b.BitsSize && std::memcmp(a.Bits, b.Bits, std::size_t(a.BitsSize)) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kMaxInputSize)
        return 0;
    TMemoryStream stream(std::span<const std::uint8_t>(data, size));
    TQvDIB dib;
    try {
        dib.LoadFromStream(stream);
    } catch (const Exception&) {
        Check(dib.GetWidth() == 1 && dib.GetHeight() == 1 && dib.GetBitCount() == 8);
        return 0;
    }
    TouchEveryRow(dib);
    CheckRoundTrip(dib);
    return 0;
}
