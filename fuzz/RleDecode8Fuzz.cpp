// Untrusted RLE8 data through the 8-bit decoder.
#include "RleFuzzTarget.h"
#include "qvdib/RleDecode.h"
#include "qvdib/RleEncode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FuzzRleDecoder(data, size, 8, Convert8BitRLETo8BitRGB, Convert8BitRGBTo8BitRLE);
}
