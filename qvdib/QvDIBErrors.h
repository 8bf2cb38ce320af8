// The library's exception classes and its assertion helper.
#pragma once

#include "platform/Exceptions.h"

#include <string_view>

// Base of the library's own exceptions; never raised itself.
VXR_DECLARE_EXCEPTION(EQvDIBError, Exception);
// Inconsistent header or data while reading; an impossible bit count/compression pair.
VXR_DECLARE_EXCEPTION(EQvDIBInvalidDIB, EQvDIBError);
// The stream is not a BMP file.
VXR_DECLARE_EXCEPTION(EQvDIBInvalidDIBFile, EQvDIBError);
// Bad size, height or bit count arguments.
VXR_DECLARE_EXCEPTION(EQvDIBInvalidDIBPara, EQvDIBError);
// The operation is not possible on this kind of DIB.
VXR_DECLARE_EXCEPTION(EQvDIBBadDIBType, EQvDIBError);
// Palette index or palette size out of range.
VXR_DECLARE_EXCEPTION(EQvDIBPaletteIndexRange, EQvDIBError);
// Row index out of range.
VXR_DECLARE_EXCEPTION(EQvDIBPixelPositionRange, EQvDIBError);
// A palette without entries.
VXR_DECLARE_EXCEPTION(EQvDIBInvalidPalette, EQvDIBError);
// RLE encoding failed.
VXR_DECLARE_EXCEPTION(EQvDIBCompressionFailed, EQvDIBError);
// A canvas cannot be made on this DIB.
VXR_DECLARE_EXCEPTION(EQvDIBCanvasFailed, EQvDIBError);

// The library's invariant check: EAssertionFailed with "text (QvDIB)".
inline void QvAssert(bool condition, std::string_view text)
{
    AssertAlways(condition, text, "QvDIB");
}

// A failed invariant where no condition is left to test.
[[noreturn]] inline void QvFail(std::string_view text)
{
    AssertAlways(false, text, "QvDIB");
    throw EAssertionFailed(std::string(text)); // not reached
}
