#include "tests/support/Paths.h"

#include <cstdlib>

std::string SourceDir()
{
    const char* env = std::getenv("VEXA_SOURCE_DIR");
    if (env != nullptr && *env != '\0')
        return env;
    return VEXA_SOURCE_DIR_DEFAULT;
}
