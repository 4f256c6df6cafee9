#pragma once

// --help and --version of the window programs, answered on standard output
// before any window, display or file is touched.

#include "platform/Version.h"

#include <cstdio>
#include <cstring>
#include <optional>

namespace pb {

// The exit status when argv asks for help or the version, else nothing.
inline std::optional<int> answerInfoOptions(int argc, char** argv, const char* program, const char* help)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", program, kVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s", help);
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace pb
