// RLE8 and RLE4 encoding. A greedy state machine walks each row once over
// units: pixel bytes for RLE8, bytes of two pixels for RLE4 (which never splits
// a byte). The codes go into a work buffer as large as the plain image; an
// encoding that does not fit there, with room kept for the closing codes,
// fails: a compressed image is never larger than the plain one.
#include "qvdib/RleEncode.h"

#include "qvdib/ConversionFrame.h"
#include "qvdib/QvDIBErrors.h"

#include <cstring>

namespace {

// What tells the two schemes apart.
struct RleScheme {
    int bitCount;
    std::uint32_t compression;
    int maxUnits; // longest run or absolute run, in units
    const char* typeMessage;
    const char* failedMessage;
    const char* absoluteMessage;
};

constexpr RleScheme kRle8{8, BI_RLE8, 255,
                          "Convert8BitRGBTo8BitRLE: Invalid Bitcount & Compression Combination",
                          "Convert8BitRGBTo8BitRLE: Compression Failed",
                          "Convert8BitRGBTo8BitRLE: WriteAbsolute Error"};
constexpr RleScheme kRle4{4, BI_RLE4, 127,
                          "Convert4BitRGBTo4BitRLE: Invalid Bitcount & Compression Combination",
                          "Convert4BitRGBTo4BitRLE: Compression Failed",
                          "Convert4BitRGBTo4BitRLE: WriteAbsolute Error"};

// Every code is written only when the bytes it takes still leave room for an
// end of line and the end of bitmap.
constexpr std::int64_t kClosingReserve = 4;

// Number of units from p on (at most limit, and not past end) equal to value;
// compares eight at a time so that long runs cost little.
std::int64_t CountEqual(const std::uint8_t* p, const std::uint8_t* end, std::uint8_t value, std::int64_t limit)
{
    const std::int64_t available = end - p;
    const std::int64_t n = available < limit ? available : limit;
    const std::uint64_t pattern = 0x0101010101010101ull * value;
    std::int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word != pattern)
            break;
    }
    while (i < n && p[i] == value)
        ++i;
    return i;
}

// The work buffer and the codes written into it.
class RleWriter {
public:
    RleWriter(std::uint8_t* buffer, std::int64_t capacity, const RleScheme& scheme)
        : buffer_(buffer), capacity_(capacity), scheme_(scheme)
    {
    }

    std::int64_t Written() const { return written_; }
    std::int64_t RestSize() const { return capacity_ - written_; }

    // Starts a row of the given width; RLE4 counts the pixels it has written.
    void BeginRow(std::int64_t width)
    {
        width_ = width;
        emitted_ = 0;
    }

    // An encoded run of count units of value.
    void WriteRun(std::uint8_t value, std::int64_t count)
    {
        Require(2 + kClosingReserve);
        Put(PixelCount(count));
        Put(value);
    }

    // An absolute run of the len pending units. RLE8 writes one or two units as
    // runs of 1, because the counts 1 and 2 after a 0 are the end-of-bitmap and
    // delta codes; two RLE4 units always make at least 3 pixels.
    void WriteAbsolute(const std::uint8_t* units, std::int64_t len)
    {
        QvAssert(len > 0, scheme_.absoluteMessage);
        Require((len + 1) / 2 * 2 + 2 + kClosingReserve);
        if (len == 1 || (scheme_.bitCount == 8 && len == 2)) {
            for (std::int64_t i = 0; i < len; ++i)
                WriteRun(units[i], 1);
            return;
        }
        Put(0);
        Put(PixelCount(len));
        std::memcpy(buffer_ + written_, units, std::size_t(len));
        written_ += len;
        if (len % 2 != 0)
            Put(0);
    }

    void WriteEndOfLine()
    {
        Require(kClosingReserve);
        Put(0);
        Put(0);
    }

    void WriteEndOfBitmap()
    {
        Require(2);
        Put(0);
        Put(1);
    }

private:
    void Require(std::int64_t bytes) const
    {
        if (RestSize() < bytes)
            throw EQvDIBCompressionFailed(scheme_.failedMessage);
    }

    void Put(std::int64_t byte) { buffer_[written_++] = std::uint8_t(byte); }

    // RLE8 counts units. RLE4 counts pixels, two a unit, but never past the
    // row's width: the last unit of an odd row holds only one pixel.
    std::int64_t PixelCount(std::int64_t units)
    {
        if (scheme_.bitCount == 8)
            return units;
        const std::int64_t pixels = width_ - emitted_ < 2 * units ? width_ - emitted_ : 2 * units;
        emitted_ += pixels;
        return pixels;
    }

    std::uint8_t* buffer_;
    std::int64_t capacity_;
    const RleScheme& scheme_;
    std::int64_t written_ = 0;
    std::int64_t width_ = 0;
    std::int64_t emitted_ = 0;
};

enum class RowState { Idle, Single, Run, Literal };

// Encodes one row of units and its end of line. The pending units of the
// Single and Literal states are always a stretch of the row itself
// (row[start] onwards), so they are never copied until written. A literal never
// holds two equal neighbours: the moment a unit repeats the literal's last one,
// that unit leaves the literal and starts a run of 2.
void EncodeRow(RleWriter& out, const std::uint8_t* row, std::int64_t units, int maxUnits)
{
    RowState state = RowState::Idle;
    std::int64_t start = 0, len = 0; // pending units
    std::uint8_t value = 0;          // the run's unit
    std::int64_t count = 0;          // the run's length
    for (std::int64_t i = 0; i < units; ++i) {
        const std::uint8_t u = row[i];
        switch (state) {
        case RowState::Idle:
            start = i, len = 1, state = RowState::Single;
            break;
        case RowState::Single:
            if (u == row[start])
                value = u, count = 2, state = RowState::Run;
            else
                len = 2, state = RowState::Literal;
            break;
        case RowState::Run:
            if (count < maxUnits && u == value) {
                // Takes the whole stretch of equal units at once; same codes as one by one.
                const std::int64_t more = CountEqual(row + i, row + units, value, maxUnits - count);
                count += more;
                i += more - 1;
            } else {
                out.WriteRun(value, count);
                start = i, len = 1, state = RowState::Single;
            }
            break;
        case RowState::Literal:
            if (u == row[start + len - 1]) {
                out.WriteAbsolute(row + start, len - 1);
                value = u, count = 2, state = RowState::Run;
            } else if (len < maxUnits) {
                ++len;
            } else {
                out.WriteAbsolute(row + start, len);
                start = i, len = 1, state = RowState::Single;
            }
            break;
        }
    }
    // What is still pending at the end of the row; a row of no units writes nothing.
    if (state == RowState::Single)
        out.WriteRun(row[start], 1);
    else if (state == RowState::Run)
        out.WriteRun(value, count);
    else if (state == RowState::Literal)
        out.WriteAbsolute(row + start, len);
    out.WriteEndOfLine();
}

// The frame both encoders share. The stream always starts with the bottom line
// of the picture, so the result is bottom-up whichever way the source is stored.
void EncodeRle(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO, const RleScheme& scheme)
{
    const BITMAPINFOHEADER& h = source.Header;
    if (h.biBitCount != scheme.bitCount || h.biCompression != BI_RGB)
        throw EQvDIBBadDIBType(scheme.typeMessage);

    // The work buffer is a plain heap block of the uncompressed size, which is
    // also the limit of the encoded size.
    PixelBuffer work(ConvertedImageSize(source, scheme.bitCount), false);
    const std::int64_t width = h.biWidth;
    const std::int64_t rows = DIBRows(h);
    const std::int64_t stride = DIBStride(scheme.bitCount, width);
    const std::int64_t units = scheme.bitCount == 8 ? width : (width + 1) / 2;
    RleWriter out(work.Bits(), work.Size(), scheme);
    for (std::int64_t r = 0; r < rows; ++r) {
        const std::int64_t memoryRow = h.biHeight > 0 ? r : rows - 1 - r;
        out.BeginRow(width);
        EncodeRow(out, source.Bits + memoryRow * stride, units, scheme.maxUnits);
    }
    out.WriteEndOfBitmap();

    PixelBuffer result(out.Written(), useFMO, TMemoryContent::Overwritten); // the stream is copied whole
    std::memcpy(result.Bits(), work.Bits(), std::size_t(out.Written()));
    FinishConversion(source, destination, result, scheme.bitCount, scheme.compression);
    destination.Header.biHeight = std::int32_t(rows);
    destination.Header.biSizeImage = std::uint32_t(out.Written());
}

} // namespace

void Convert8BitRGBTo8BitRLE(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    EncodeRle(source, destination, useFMO, kRle8);
}

void Convert4BitRGBTo4BitRLE(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    EncodeRle(source, destination, useFMO, kRle4);
}
