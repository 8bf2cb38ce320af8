// TQvGraphic: the library's graphic base class.
#pragma once

#include "platform/Graphic.h"

#include <cstdint>

class TQvGraphic : public TGraphic {
public:
    // The clipboard format in which this graphic is exchanged.
    virtual std::uint16_t GetClipboardFormat() const = 0;
    void Assign(const TPersistent* source) override;
};
