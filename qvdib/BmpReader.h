// Unit routines of the BMP reader that the clipboard reader shares.
#pragma once

#include "qvdib/DIBTypes.h"

#include <cstdint>

// Rewrites a record that holds a 12-byte core header followed by RGBTRIPLE
// entries (at the place of Header) into the 40-byte info form with RGBQUADs.
void ConvertCoreHeader(TQvDIBInfos& infos);

// The shift that brings a non-zero colour mask into 128..255 (negative: shift left).
int GetMaskShift(std::uint32_t mask);
