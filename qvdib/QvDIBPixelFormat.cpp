// The PixelFormat property of TQvDIB: copy-on-write, progress announcements and
// change notification around the storage's conversion dispatcher.
#include "qvdib/QvDIB.h"

#include <string_view>

namespace {

struct ProgressEntry {
    TQvPixelFormat from;
    TQvPixelFormat to;
    std::int32_t steps;
    const char* message;
};

// The conversions that reduce colours to 4 or 8 bits, with the number of
// progress steps their reduction takes.
constexpr ProgressEntry kProgressTable[] = {
    {TQvPixelFormat::qvPf8Bit, TQvPixelFormat::qvPf4Bit, 16, "PixelFormat 8Bit -> 4Bit"},
    {TQvPixelFormat::qvPf8Bit, TQvPixelFormat::qvPf4BitRLE, 16, "PixelFormat 8Bit -> 4BitRLE"},
    {TQvPixelFormat::qvPf8BitRLE, TQvPixelFormat::qvPf4Bit, 16, "PixelFormat 8BitRLE -> 4Bit"},
    {TQvPixelFormat::qvPf8BitRLE, TQvPixelFormat::qvPf4BitRLE, 16, "PixelFormat 8BitRLE -> 4BitRLE"},
    {TQvPixelFormat::qvPf24Bit, TQvPixelFormat::qvPf4Bit, 16, "PixelFormat 24Bit -> 4Bit"},
    {TQvPixelFormat::qvPf24Bit, TQvPixelFormat::qvPf4BitRLE, 16, "PixelFormat 24Bit -> 4BitRLE"},
    {TQvPixelFormat::qvPf24Bit, TQvPixelFormat::qvPf8Bit, 256, "PixelFormat 24Bit -> 8Bit"},
    {TQvPixelFormat::qvPf24Bit, TQvPixelFormat::qvPf8BitRLE, 256, "PixelFormat 24Bit -> 8BitRLE"},
};

const ProgressEntry* FindProgress(TQvPixelFormat from, TQvPixelFormat to)
{
    for (const ProgressEntry& entry : kProgressTable)
        if (entry.from == from && entry.to == to)
            return &entry;
    return nullptr;
}

} // namespace

TQvPixelFormat TQvDIB::GetPixelFormat() const
{
    return InternalDIB->GetPixelFormat();
}

void TQvDIB::SetPixelFormat(TQvPixelFormat value)
{
    RequireStorage("TQvDIB.SetPixelFormat");
    const TQvPixelFormat current = GetPixelFormat();
    if (value == current)
        return;
    UniqueDIB();
    const ProgressEntry* progress = FindProgress(current, value);
    if (progress != nullptr) {
        InitProgress(progress->steps, progress->message);
        StartProgress();
    }
    try {
        InternalDIB->SetPixelsFormat(value, ConvertMode, ColorToRGB(MonoColor), [this] { ProgressStep(); });
    } catch (...) {
        UpdatePaletteModified();
        if (progress != nullptr)
            EndProgress();
        throw;
    }
    UpdatePaletteModified();
    if (progress != nullptr)
        EndProgress();
    SetModified(true);
}

void TQvDIB::InitProgress(std::int32_t max, const std::string& message)
{
    ProgressMessage = message;
    ProgressMax = max;
    ProgressCount = 0;
}

void TQvDIB::StartProgress()
{
    Progress(TProgressStage::psStarting, 0, false, ProgressRect(), ProgressMessage);
}

void TQvDIB::ProgressStep()
{
    ++ProgressCount;
    // The last step is announced by EndProgress alone.
    if (ProgressCount == ProgressMax || ProgressMax <= 0)
        return;
    const std::int64_t percent = std::int64_t(ProgressCount) * 100 / ProgressMax;
    Progress(TProgressStage::psRunning, std::uint8_t(percent > 255 ? 255 : percent), false, ProgressRect(),
             ProgressMessage);
}

void TQvDIB::EndProgress()
{
    Progress(TProgressStage::psEnding, 100, true, ProgressRect(), ProgressMessage);
}
