#include "platform/http/Assets.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace
{
constexpr std::uintmax_t MAX_ASSET_BYTES = 4 * 1024 * 1024;
}

std::string ContentTypeForPath(const std::string& path)
{
    const std::string ext = fs::path(path).extension().string();
    if (ext == ".html")
        return "text/html; charset=utf-8";
    if (ext == ".js" || ext == ".mjs")
        return "text/javascript; charset=utf-8";
    if (ext == ".css")
        return "text/css; charset=utf-8";
    if (ext == ".svg")
        return "image/svg+xml";
    if (ext == ".png")
        return "image/png";
    if (ext == ".ico")
        return "image/x-icon";
    if (ext == ".json")
        return "application/json";
    return "application/octet-stream";
}

BOOL LoadAssets(const std::string& folder, std::vector<tagASSET>* assets, std::string* error)
{
    std::error_code ec;
    const fs::path root = fs::canonical(folder, ec);
    if (ec || !fs::is_directory(root, ec))
    {
        *error = "no page folder at '" + folder + "'";
        return FALSE;
    }
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec);
    if (ec)
    {
        *error = "cannot read '" + folder + "': " + ec.message();
        return FALSE;
    }
    for (; it != fs::recursive_directory_iterator(); it.increment(ec))
    {
        if (ec)
        {
            *error = "cannot read '" + folder + "': " + ec.message();
            return FALSE;
        }
        const fs::path& p = it->path();
        if (p.filename().string().rfind('.', 0) == 0)
        {
            if (it->is_directory(ec))
                it.disable_recursion_pending();
            continue;
        }
        const fs::file_status status = it->symlink_status(ec);
        if (ec || !fs::is_regular_file(status))
            continue;
        if (it->file_size(ec) > MAX_ASSET_BYTES || ec)
            continue;
        std::ifstream in(p, std::ios::binary);
        std::ostringstream body;
        body << in.rdbuf();
        if (!in.good() && !in.eof())
            continue;
        tagASSET asset;
        asset.path = "/" + fs::relative(p, root, ec).generic_string();
        if (ec)
            continue;
        asset.contentType = ContentTypeForPath(asset.path);
        asset.body = body.str();
        assets->push_back(std::move(asset));
    }
    return TRUE;
}
