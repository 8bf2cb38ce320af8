// RLE8 and RLE4 decoding into plain rows.
#pragma once

#include "qvdib/DIBTypes.h"

// qvPf8BitRLE -> qvPf8Bit.
void Convert8BitRLETo8BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
// qvPf4BitRLE -> qvPf4Bit.
void Convert4BitRLETo4BitRGB(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
