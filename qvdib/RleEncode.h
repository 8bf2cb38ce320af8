// RLE8 and RLE4 encoding of plain rows.
#pragma once

#include "qvdib/DIBTypes.h"

// qvPf8Bit -> qvPf8BitRLE.
void Convert8BitRGBTo8BitRLE(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
// qvPf4Bit -> qvPf4BitRLE.
void Convert4BitRGBTo4BitRLE(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
