#pragma once
// Where the source tree is, for tests that read stored data or peer configurations:
// $VEXA_SOURCE_DIR when set, else the tree this build was configured from.
#include <string>

std::string SourceDir();
inline std::string SourcePath(const std::string& relative)
{
    return SourceDir() + "/" + relative;
}
