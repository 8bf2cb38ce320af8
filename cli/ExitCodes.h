// Exit codes of the vxr command, shared by every verb.
#pragma once

inline constexpr int kExitSuccess = 0;
// The input was refused or a file could not be read or written; the message is on stderr.
inline constexpr int kExitFailure = 1;
// The command line itself was wrong; CLI11 has printed what and how to get help.
inline constexpr int kExitUsage = 2;
