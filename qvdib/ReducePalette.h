// 8-bit to 4-bit palette reduction and 1-bit masks of one colour.
#pragma once

#include "qvdib/DIBTypes.h"

#include <cstdint>

void Convert8BitRGBTo4BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                             const TQvProgressProc& progress);
// color: red in the low byte, green in the next, blue in the third.
void ConvertTrueColorTo1BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, std::uint32_t color, bool useFMO);
void Convert8BitTo1BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, std::uint32_t color, bool useFMO);
void Convert4BitRGBTo1BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, std::uint32_t color, bool useFMO);
