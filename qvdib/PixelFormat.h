// The storage formats of a DIB and the two halftone requests.
#pragma once

#include <cstdint>

enum class TQvPixelFormat : std::uint8_t {
    qvPf1Bit = 0,
    qvPf4Bit = 1,
    qvPf4BitRLE = 2,
    qvPf8Bit = 3,
    qvPf8BitRLE = 4,
    qvPf24Bit = 5,
    qvPfHalfTone = 6,   // request only: 8-bit error-diffused halftone, 215 colours
    qvPfHalfToneBW = 7, // request only: 1-bit black-and-white halftone
};
