// RLE8 and RLE4 decoding. One pass over the encoded stream: a reader cuts the
// next code out of the stream (and refuses one that the stream cuts off), and
// the decoder checks it against the image bounds before it writes anything.
#include "qvdib/RleDecode.h"

#include "qvdib/ConversionFrame.h"
#include "qvdib/QvDIBErrors.h"

#include <cstring>
#include <span>

namespace {

// The messages of one routine, one for each kind of code that can be refused.
struct RleMessages {
    const char* endOfLine;
    const char* delta;
    const char* absolute;
    const char* run;
};

constexpr RleMessages kRle8Messages{
    "Convert8BitRLETo8BitRGB: Bad RLE Data 1", "Convert8BitRLETo8BitRGB: Bad RLE Data 2",
    "Convert8BitRLETo8BitRGB: Bad RLE Data 3", "Convert8BitRLETo8BitRGB: Bad RLE Data 4"};
constexpr RleMessages kRle4Messages{
    "Convert4BitRLETo4BitRGB: Bad RLE Data 5", "Convert4BitRLETo4BitRGB: Bad RLE Data 6",
    "Convert4BitRLETo4BitRGB: Bad RLE Data 7", "Convert4BitRLETo4BitRGB: Bad RLE Data 8"};

enum class CodeKind { Run, EndOfLine, EndOfBitmap, Delta, Absolute };

struct RleCode {
    CodeKind kind;
    std::uint8_t count = 0;               // pixels of a run or an absolute run
    std::uint8_t value = 0;               // the run's byte
    std::uint8_t dx = 0, dy = 0;          // the delta's move
    const std::uint8_t* literal = nullptr; // the absolute run's pixel bytes
};

// Cuts codes out of the encoded data. It never reads past the data's end: a
// code whose bytes are not all there is refused with the message of its kind,
// and data that end where the next code should start count as a missing end of
// line, the code every row needs.
class RleReader {
public:
    RleReader(std::span<const std::uint8_t> data, int bitCount, const RleMessages& messages)
        : data_(data), bitCount_(bitCount), messages_(messages)
    {
    }

    RleCode Next()
    {
        const std::size_t left = data_.size() - position_;
        if (left == 0 || (left == 1 && data_[position_] == 0))
            throw EQvDIBInvalidDIB(messages_.endOfLine);
        if (left == 1)
            throw EQvDIBInvalidDIB(messages_.run);
        const std::uint8_t first = data_[position_];
        const std::uint8_t second = data_[position_ + 1];
        position_ += 2;
        if (first != 0)
            return {CodeKind::Run, first, second};
        switch (second) {
        case 0: return {CodeKind::EndOfLine};
        case 1: return {CodeKind::EndOfBitmap};
        case 2: return NextDelta();
        default: return NextAbsolute(second);
        }
    }

private:
    const std::uint8_t* Take(std::size_t count, const char* message)
    {
        if (data_.size() - position_ < count)
            throw EQvDIBInvalidDIB(message);
        const std::uint8_t* bytes = data_.data() + position_;
        position_ += count;
        return bytes;
    }

    RleCode NextDelta()
    {
        const std::uint8_t* move = Take(2, messages_.delta);
        RleCode code{CodeKind::Delta};
        code.dx = move[0];
        code.dy = move[1];
        return code;
    }

    // The pixels of an absolute run are padded to a whole number of 16-bit words.
    RleCode NextAbsolute(std::uint8_t count)
    {
        const std::size_t size = ((std::size_t(count) * std::size_t(bitCount_) + 15) / 16) * 2;
        RleCode code{CodeKind::Absolute, count};
        code.literal = Take(size, messages_.absolute);
        return code;
    }

    std::span<const std::uint8_t> data_;
    std::size_t position_ = 0;
    int bitCount_;
    const RleMessages& messages_;
};

// Writes 8-bit pixels: runs by block fill, absolute runs by block copy.
struct Pixels8 {
    static void Fill(std::uint8_t* row, std::int64_t x, int count, std::uint8_t value)
    {
        std::memset(row + x, value, std::size_t(count));
    }
    static void Copy(std::uint8_t* row, std::int64_t x, int count, const std::uint8_t* literal)
    {
        std::memcpy(row + x, literal, std::size_t(count));
    }
};

// Writes 4-bit pixels. A pixel at an even column sets the high nibble and
// clears the low one; a pixel at an odd column is ORed into the low nibble.
struct Pixels4 {
    static void Put(std::uint8_t* row, std::int64_t x, std::uint8_t value)
    {
        std::uint8_t& byte = row[x / 2];
        byte = (x % 2 == 0) ? std::uint8_t(value << 4) : std::uint8_t(byte | value);
    }

    // Pixel k of a run is the high nibble of value when k is even, the low one
    // when k is odd. Whole bytes in between are one block fill: the value itself
    // when the run starts on an even column, its nibbles swapped otherwise.
    static void Fill(std::uint8_t* row, std::int64_t x, int count, std::uint8_t value)
    {
        int k = 0;
        if (x % 2 != 0) {
            Put(row, x, std::uint8_t(value >> 4));
            k = 1;
        }
        const std::uint8_t pair = k == 0 ? value : std::uint8_t((value << 4) | (value >> 4));
        const int whole = (count - k) / 2;
        std::memset(row + (x + k) / 2, pair, std::size_t(whole));
        k += 2 * whole;
        if (k < count)
            Put(row, x + k, std::uint8_t(pair >> 4));
    }

    // Pixel k is the high nibble of literal byte k / 2 when k is even, the low
    // nibble when k is odd. From an even column whole bytes are copied as they are.
    static void Copy(std::uint8_t* row, std::int64_t x, int count, const std::uint8_t* literal)
    {
        if (x % 2 == 0) {
            std::memcpy(row + x / 2, literal, std::size_t(count / 2));
            if (count % 2 != 0)
                Put(row, x + count - 1, std::uint8_t(literal[count / 2] >> 4));
            return;
        }
        for (int k = 0; k < count; ++k) {
            const std::uint8_t byte = literal[k / 2];
            Put(row, x + k, std::uint8_t(k % 2 == 0 ? byte >> 4 : byte & 0x0F));
        }
    }
};

struct DecodeTarget {
    std::uint8_t* bits;
    std::int64_t stride;
    std::int64_t columns; // the last column a code may reach
    std::int64_t rows;
};

// Applies codes until the end of bitmap. Every code is checked before it
// writes: x and y may reach the column limit and the row count (a delta or an
// end of line may land there), but a run or absolute run needs room on a row
// that exists.
template <class Pixels>
void DecodeStream(RleReader& reader, const DecodeTarget& target, const RleMessages& messages)
{
    std::int64_t x = 0;
    std::int64_t y = 0;
    for (;;) {
        const RleCode code = reader.Next();
        switch (code.kind) {
        case CodeKind::EndOfBitmap:
            return;
        case CodeKind::EndOfLine:
            x = 0;
            if (++y > target.rows)
                throw EQvDIBInvalidDIB(messages.endOfLine);
            break;
        case CodeKind::Delta:
            x += code.dx;
            y += code.dy;
            if (x > target.columns || y > target.rows)
                throw EQvDIBInvalidDIB(messages.delta);
            break;
        case CodeKind::Run:
            if (x + code.count > target.columns || y >= target.rows)
                throw EQvDIBInvalidDIB(messages.run);
            Pixels::Fill(target.bits + y * target.stride, x, code.count, code.value);
            x += code.count;
            break;
        case CodeKind::Absolute:
            if (x + code.count > target.columns || y >= target.rows)
                throw EQvDIBInvalidDIB(messages.absolute);
            Pixels::Copy(target.bits + y * target.stride, x, code.count, code.literal);
            x += code.count;
            break;
        }
    }
}

// The frame both decoders share: source check, new zero-filled memory (every
// pixel the stream does not set stays index 0), decoding, and the result record.
template <class Pixels>
void DecodeRle(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO, int bitCount,
               std::uint32_t compression, const char* typeMessage, const RleMessages& messages)
{
    const BITMAPINFOHEADER& h = source.Header;
    if (h.biBitCount != bitCount || h.biCompression != compression)
        throw EQvDIBBadDIBType(typeMessage);

    PixelBuffer memory(ConvertedImageSize(source, bitCount), useFMO);
    const std::int64_t width = h.biWidth;
    // A 4-bit run may fill the padding nibble at the end of a row of odd width.
    const std::int64_t columns = bitCount == 4 ? (width + 1) / 2 * 2 : width;
    const DecodeTarget target{memory.Bits(), DIBStride(bitCount, width), columns, DIBRows(h)};
    const std::size_t length = source.BitsSize > 0 ? std::size_t(source.BitsSize) : 0;
    RleReader reader({source.Bits, length}, bitCount, messages);
    DecodeStream<Pixels>(reader, target, messages);
    FinishConversion(source, destination, memory, bitCount);
}

} // namespace

void Convert8BitRLETo8BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    DecodeRle<Pixels8>(source, destination, useFMO, 8, BI_RLE8,
                       "Convert8BitRLETo8BitRGB: Invalid Bitcount & Compression Combination", kRle8Messages);
}

void Convert4BitRLETo4BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO)
{
    DecodeRle<Pixels4>(source, destination, useFMO, 4, BI_RLE4,
                       "Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination", kRle4Messages);
}
