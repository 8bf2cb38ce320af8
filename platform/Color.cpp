#include "platform/Color.h"

#include <array>

namespace {

// The classic desktop scheme: there is no live system palette to ask off Windows,
// so system colours resolve to these fixed values.
constexpr std::array<TColor, 31> kSystemColors = {
    RGB(212, 208, 200), RGB(58, 110, 165),  RGB(10, 36, 106),   RGB(128, 128, 128), // scrollbar, background, active caption, inactive caption
    RGB(212, 208, 200), RGB(255, 255, 255), RGB(0, 0, 0),       RGB(0, 0, 0),       // menu, window, window frame, menu text
    RGB(0, 0, 0),       RGB(255, 255, 255), RGB(212, 208, 200), RGB(212, 208, 200), // window text, caption text, active border, inactive border
    RGB(128, 128, 128), RGB(10, 36, 106),   RGB(255, 255, 255), RGB(212, 208, 200), // app workspace, highlight, highlight text, button face
    RGB(128, 128, 128), RGB(128, 128, 128), RGB(0, 0, 0),       RGB(212, 208, 200), // button shadow, grey text, button text, inactive caption text
    RGB(255, 255, 255), RGB(64, 64, 64),    RGB(212, 208, 200), RGB(0, 0, 0),       // button highlight, 3D dark shadow, 3D light, info text
    RGB(255, 255, 225), RGB(181, 181, 181), RGB(0, 0, 128),     RGB(166, 202, 240), // info background, (unused), hot light, gradient active caption
    RGB(192, 192, 192), RGB(49, 106, 197),  RGB(236, 233, 216),                     // gradient inactive caption, menu highlight, menu bar
};

} // namespace

TColor ColorToRGB(TColor color)
{
    if ((color & kSystemColorFlag) == 0)
        return color;
    const TColor index = color & 0xFF;
    return index < kSystemColors.size() ? kSystemColors[index] : clBlack;
}
