#pragma once
// The page's static files, read once from a folder into memory and served under their
// paths relative to it ("/js/main.js"). Only regular files are taken, no symbolic links and
// no names starting with a dot, so a request can never reach outside the folder.
#include "platform/Types.h"

#include <string>
#include <vector>

struct tagASSET
{
    std::string path; // "/index.html"
    std::string contentType;
    std::string body;
};

BOOL LoadAssets(const std::string& folder, std::vector<tagASSET>* assets, std::string* error);
std::string ContentTypeForPath(const std::string& path);
