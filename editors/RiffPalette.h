// RIFF palette files (".pal"): a LOGPALETTE in the "data" chunk of a RIFF form
// of type "PAL ". The program writes a fixed 88-byte file of 16 entries and
// reads the first 16 entries of any such file that has at least 16.
#pragma once

#include <cstddef>
#include <string>

class TQvDIB;
class WindowPort;

inline constexpr std::size_t kRiffPaletteFileSize = 88;

// Writes Colors[0..15] of dib to the file name, replacing it only when all 88
// bytes were written (the old file stays whole otherwise). 0 on success, -1
// when not every byte could be written. A file that cannot be created raises
// the platform's file error.
int WriteRiffPalette(const std::string& name, const TQvDIB& dib);

// Sets Colors[0..15] of dib from the file name. 0 on success; -1 after a
// refusal shown in an error box through the port, with dib unchanged. A file
// that cannot be opened raises the platform's file error.
int ReadRiffPalette(WindowPort& port, TQvDIB& dib, const std::string& name);
