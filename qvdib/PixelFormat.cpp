// The pixel format of a storage and the conversion dispatcher: every change of
// format runs a fixed chain of one to three conversion routines, each building a
// complete new image from the one before, and only the last result is installed.
//
// A chain is composed in three parts: decode an RLE source, convert between the
// uncompressed depths, encode an RLE target. No colour reduction ever runs on
// compressed data, and a compressed target is always encoded from an
// uncompressed result of its own depth.
#include "qvdib/PixelFormat.h"

#include "qvdib/DIBStorage.h"
#include "qvdib/Expand.h"
#include "qvdib/HalfTone.h"
#include "qvdib/QvDIBErrors.h"
#include "qvdib/ReduceFast.h"
#include "qvdib/ReduceHigh.h"
#include "qvdib/ReducePalette.h"
#include "qvdib/RleDecode.h"
#include "qvdib/RleEncode.h"

#include <array>
#include <memory>
#include <optional>

namespace {

using Format = TQvPixelFormat;

// What a step may need besides its source and destination.
struct StepArguments {
    bool useFMO;
    std::uint32_t color;
    const TQvProgressProc& progress;
};

using Step = void (*)(const TQvDIBInfos&, TQvDIBInfos&, const StepArguments&);

template <void (*Routine)(const TQvDIBInfos&, TQvDIBInfos&, bool)>
void Plain(const TQvDIBInfos& source, TQvDIBInfos& destination, const StepArguments& a)
{
    Routine(source, destination, a.useFMO);
}

template <void (*Routine)(const TQvDIBInfos&, TQvDIBInfos&, std::uint32_t, bool)>
void WithColor(const TQvDIBInfos& source, TQvDIBInfos& destination, const StepArguments& a)
{
    Routine(source, destination, a.color, a.useFMO);
}

template <void (*Routine)(const TQvDIBInfos&, TQvDIBInfos&, bool, const TQvProgressProc&)>
void WithProgress(const TQvDIBInfos& source, TQvDIBInfos& destination, const StepArguments& a)
{
    Routine(source, destination, a.useFMO, a.progress);
}

// The uncompressed format of the same depth.
constexpr Format Uncompressed(Format f)
{
    return f == Format::qvPf4BitRLE ? Format::qvPf4Bit : f == Format::qvPf8BitRLE ? Format::qvPf8Bit : f;
}

[[noreturn]] void PixelFormatError()
{
    QvFail("TQvIntenalDIB.SetPixelsFormat: PixelFormat Error");
}

// The one step between two different uncompressed formats.
Step DepthStep(Format from, Format to, std::uint8_t mode)
{
    using enum TQvPixelFormat;
    const bool high = mode == 1;
    switch (from) {
    case qvPf1Bit:
        if (to == qvPf4Bit) return Plain<Convert1BitRGBTo4BitRGB>;
        if (to == qvPf8Bit) return Plain<Convert1BitRGBTo8BitRGB>;
        return Plain<Convert1BitRGBToTrueColor>;
    case qvPf4Bit:
        if (to == qvPf1Bit) return WithColor<Convert4BitRGBTo1BitRGB>;
        if (to == qvPf8Bit) return Plain<Convert4BitRGBTo8BitRGB>;
        return Plain<Convert4BitRGBToTrueColor>;
    case qvPf8Bit:
        if (to == qvPf1Bit) return WithColor<Convert8BitTo1BitRGB>;
        if (to == qvPf4Bit) return WithProgress<Convert8BitRGBTo4BitRGB>;
        return Plain<Convert8BitRGBToTrueColor>;
    default: // qvPf24Bit
        if (to == qvPf1Bit) return WithColor<ConvertTrueColorTo1BitRGB>;
        if (to == qvPf4Bit) return high ? WithProgress<ConvertTrueColorTo4BitRGBHigh> : WithProgress<ConvertTrueColorTo4BitRGBLow>;
        return high ? WithProgress<ConvertTrueColorTo8BitRGBHigh> : WithProgress<ConvertTrueColorTo8BitRGBLow>;
    }
}

struct Route {
    std::array<Step, 3> steps{};
    int count = 0;
    void Add(Step step) { steps[std::size_t(count++)] = step; }
};

Route PlanRoute(Format from, Format target, std::uint8_t mode)
{
    using enum TQvPixelFormat;
    Route route;
    if (from == qvPf4BitRLE)
        route.Add(Plain<Convert4BitRLETo4BitRGB>);
    else if (from == qvPf8BitRLE)
        route.Add(Plain<Convert8BitRLETo8BitRGB>);
    if (target == qvPfHalfTone) {
        route.Add(Plain<ConvertToHalfTone>);
        return route;
    }
    if (target == qvPfHalfToneBW) {
        route.Add(Plain<ConvertToHalfToneBW>);
        return route;
    }
    const Format plainFrom = Uncompressed(from);
    const Format plainTo = Uncompressed(target);
    if (plainFrom != plainTo)
        route.Add(DepthStep(plainFrom, plainTo, mode));
    if (target == qvPf4BitRLE)
        route.Add(Plain<Convert4BitRGBTo4BitRLE>);
    else if (target == qvPf8BitRLE)
        route.Add(Plain<Convert8BitRGBTo8BitRLE>);
    return route;
}

// Checks the request before anything runs: a real format other than the current
// one, and a known reduction mode wherever true colour is reduced.
void CheckRequest(Format from, Format target, std::uint8_t mode)
{
    const bool halftone = target == Format::qvPfHalfTone || target == Format::qvPfHalfToneBW;
    if (halftone)
        return;
    if (target == from || std::uint8_t(target) > std::uint8_t(Format::qvPf24Bit))
        PixelFormatError();
    const bool reducesTrueColour = from == Format::qvPf24Bit && target != Format::qvPf1Bit;
    if (reducesTrueColour && mode > 1)
        PixelFormatError();
}

} // namespace

TQvPixelFormat TQvInternalDIB::GetPixelFormat() const
{
    const BITMAPINFOHEADER& h = DIBInfos.Header;
    const std::uint32_t c = h.biCompression;
    switch (h.biBitCount) {
    case 1:
        if (c == BI_RGB) return Format::qvPf1Bit;
        throw EQvDIBInvalidDIB("TQvInternalDIB.GetPixelFormat: Invalid DIB(1Bit)");
    case 4:
        if (c == BI_RGB) return Format::qvPf4Bit;
        if (c == BI_RLE4) return Format::qvPf4BitRLE;
        throw EQvDIBInvalidDIB("TQvInternalDIB.GetPixelFormat: Invalid DIB(4Bit)");
    case 8:
        if (c == BI_RGB) return Format::qvPf8Bit;
        if (c == BI_RLE8) return Format::qvPf8BitRLE;
        throw EQvDIBInvalidDIB("TQvInternalDIB.GetPixelFormat: Invalid DIB(8Bit)");
    case 24:
        if (c == BI_RGB) return Format::qvPf24Bit;
        throw EQvDIBInvalidDIB("TQvInternalDIB.GetPixelFormat: Invalid DIB(24Bit)");
    default:
        throw EQvDIBInvalidDIB("TQvInternalDIB.GetPixelFormat: Invalid DIB(Illegal BitCount)");
    }
}

void TQvInternalDIB::SetPixelsFormat(TQvPixelFormat target, std::uint8_t mode, std::uint32_t color,
                                     const TQvProgressProc& progress)
{
    const Format from = GetPixelFormat();
    CheckRequest(from, target, mode);
    const Route route = PlanRoute(from, target, mode);

    // Every result stays owned until the chain has succeeded; a failure releases
    // those made so far and leaves the storage as it was.
    std::array<std::optional<OwnedDIBInfos>, 3> results;
    const StepArguments arguments{UseFMO, color, progress};
    const TQvDIBInfos* source = &DIBInfos;
    for (int i = 0; i < route.count; ++i) {
        auto& result = results[std::size_t(i)].emplace(UseFMO);
        route.steps[std::size_t(i)](*source, *result, arguments);
        source = &result.Get();
    }
    CommitConverted(results[std::size_t(route.count - 1)]->Release());
    for (int i = route.count - 2; i >= 0; --i)
        results[std::size_t(i)].reset();
}
