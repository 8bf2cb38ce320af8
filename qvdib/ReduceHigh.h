// True-colour reduction, high quality: every pixel takes part in the split tree.
#pragma once

#include "qvdib/DIBTypes.h"

void ConvertTrueColorTo8BitRGBHigh(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                                   const TQvProgressProc& progress);
void ConvertTrueColorTo4BitRGBHigh(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                                   const TQvProgressProc& progress);
