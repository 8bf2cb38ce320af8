// True-colour reduction, fast: a 65536-cell histogram split by weighted variance.
#pragma once

#include "qvdib/DIBTypes.h"

void ConvertTrueColorTo8BitRGBLow(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                                  const TQvProgressProc& progress);
void ConvertTrueColorTo4BitRGBLow(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                                  const TQvProgressProc& progress);
