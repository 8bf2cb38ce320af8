#include "cli/ProgressBar.h"

#include "qvdib/QvDIB.h"

#include <string>
#include <unistd.h>

namespace {

constexpr int kBarWidth = 30;

void Draw(std::FILE* stream, const std::string& message, int percent, bool done)
{
    const int filled = percent * kBarWidth / 100;
    std::fprintf(stream, "\r%s [%s%s] %3d%%", message.c_str(), std::string(std::size_t(filled), '#').c_str(),
                 std::string(std::size_t(kBarWidth - filled), ' ').c_str(), percent);
    if (done)
        std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

ProgressBar::ProgressBar(TQvDIB& dib, std::FILE* stream) : dib_(dib)
{
    if (::isatty(::fileno(stream)) == 0)
        return;
    dib_.OnProgress = [stream](TGraphic&, TProgressStage stage, std::uint8_t percent, bool, const TRect&,
                               const std::string& message) {
        Draw(stream, message, percent > 100 ? 100 : percent, stage == TProgressStage::psEnding);
    };
}

ProgressBar::~ProgressBar()
{
    dib_.OnProgress = nullptr;
}
