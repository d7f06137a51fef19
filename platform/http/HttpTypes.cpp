#include "platform/http/HttpTypes.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>

namespace
{
std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}
} // namespace

std::string tagHTTP_REQUEST::Header(const std::string& name) const
{
    const std::string key = Lower(name);
    for (const auto& h : headers)
        if (h.first == key)
            return h.second;
    return std::string();
}

std::size_t tagHTTP_REQUEST::HeaderCount(const std::string& name) const
{
    const std::string key = Lower(name);
    return static_cast<std::size_t>(std::count_if(headers.begin(), headers.end(),
                                                  [&](const auto& h) { return h.first == key; }));
}

std::string tagHTTP_REQUEST::Query(const std::string& name) const
{
    auto it = query.find(name);
    return it == query.end() ? std::string() : it->second;
}

BOOL tagHTTP_REQUEST::HasQuery(const std::string& name) const
{
    return query.count(name) != 0 ? TRUE : FALSE;
}

void tagHTTP_RESPONSE::SetHeader(const std::string& name, const std::string& value)
{
    for (auto& h : headers)
    {
        if (Lower(h.first) == Lower(name))
        {
            h.second = value;
            return;
        }
    }
    headers.emplace_back(name, value);
}

void SetHttpError(tagHTTP_RESPONSE& response, int status, const std::string& reason)
{
    std::string line = reason;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    response.status = status;
    response.contentType = "application/json";
    response.body = nlohmann::json{{"error", line}}.dump(-1, ' ', false,
                                                         nlohmann::json::error_handler_t::replace);
}
