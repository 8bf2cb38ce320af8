// Bit-depth expansion: wider indices with the same palette, or true colour.
#pragma once

#include "qvdib/DIBTypes.h"

void Convert1BitRGBTo4BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
void Convert1BitRGBTo8BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
void Convert4BitRGBTo8BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
void Convert1BitRGBToTrueColor(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
void Convert4BitRGBToTrueColor(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
void Convert8BitRGBToTrueColor(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
