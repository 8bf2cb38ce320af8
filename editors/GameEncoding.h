// The game's picture and palette encoding, and its conversions to and from a
// 4-bit TQvDIB with 16 colours.
//
// Game picture: W x H pixels cut out of a sheet whose rows lie 128 bytes apart,
// two 4-bit pixels a byte with the left pixel in the low half (the DIB keeps it
// in the high half). Game palette: sixteen little-endian 15-bit words,
// red in bits 0-4, green in 5-9, blue in 10-14.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

class TQvDIB;

inline constexpr std::size_t kSheetRowBytes = 128;
inline constexpr std::size_t kGamePaletteBytes = 32;

// Each takes the buffer of a whole BIN file and the offset of the picture's
// top-left byte or of the palette's first word. The region must lie inside the
// buffer; the pixel operations need a 4-bit uncompressed DIB.

// Copies the picture into the DIB, whose Width and Height give its size.
void DecodePixels(TQvDIB& dib, std::span<const std::uint8_t> buffer, std::size_t offset);
// Sets Colors[0..15] from the 16 palette words.
void DecodePalette(TQvDIB& dib, std::span<const std::uint8_t> buffer, std::size_t offset);
// Copies the DIB into the picture; sheet bytes right of the picture are not touched.
void EncodePixels(TQvDIB& dib, std::span<std::uint8_t> buffer, std::size_t offset);
// Writes Colors[0..15] as 16 words, each component rounded down to 5 bits.
void EncodePalette(const TQvDIB& dib, std::span<std::uint8_t> buffer, std::size_t offset);

// One component between the game's 5 bits and 8 bits: v -> v * 8 + v / 4, and back by v / 8.
constexpr std::uint8_t Expand5To8(unsigned v) { return std::uint8_t((v << 3) | (v >> 2)); }
constexpr unsigned Reduce8To5(std::uint8_t v) { return v >> 3; }
