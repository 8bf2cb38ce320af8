// A progress bar on a terminal, fed by an image's progress notifications.
#pragma once

#include <cstdio>

class TQvDIB;

// Shows the image's conversion progress on stream while the object lives, but
// only when stream is a terminal: scripts and logs get no control characters.
class ProgressBar {
public:
    ProgressBar(TQvDIB& dib, std::FILE* stream);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

private:
    TQvDIB& dib_;
};
