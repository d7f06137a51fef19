#include "platform/http/Router.h"

void CRouter::Add(tagROUTE route)
{
    m_routes.push_back(std::move(route));
}

int CRouter::Find(const std::string& method, const std::string& path, const tagROUTE** route,
                  std::string* allow) const
{
    const std::string wanted = method == "HEAD" ? "GET" : method;
    std::string methods;
    for (const auto& r : m_routes)
    {
        if (r.path != path)
            continue;
        if (r.method == wanted)
        {
            *route = &r;
            return 0;
        }
        if (methods.find(r.method) == std::string::npos)
            methods += (methods.empty() ? "" : ", ") + r.method;
    }
    if (methods.empty())
        return 404;
    if (allow != nullptr)
        *allow = methods;
    return 405;
}
