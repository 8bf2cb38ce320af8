// Untrusted RLE4 data through the 4-bit decoder.
#include "RleFuzzTarget.h"
#include "qvdib/RleDecode.h"
#include "qvdib/RleEncode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FuzzRleDecoder(data, size, 4, Convert4BitRLETo4BitRGB, Convert4BitRGBTo4BitRLE);
}
