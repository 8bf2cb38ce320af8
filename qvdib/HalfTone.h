// Error-diffused halftones onto the fixed 215-colour palette or black and white.
#pragma once

#include "qvdib/DIBTypes.h"

void ConvertToHalfTone(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
void ConvertToHalfToneBW(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO);
