#include "platform/http/HttpJson.h"

BOOL ParseJsonBody(const tagHTTP_REQUEST& request, nlohmann::json* body, std::string* reason)
{
    try
    {
        *body = nlohmann::json::parse(request.body);
    }
    catch (const nlohmann::json::parse_error& e)
    {
        *reason = std::string("malformed JSON body: ") + e.what();
        return FALSE;
    }
    if (!body->is_object())
    {
        *reason = "the body must be a JSON object";
        return FALSE;
    }
    return TRUE;
}

std::string DumpJson(const nlohmann::json& value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void SetJson(tagHTTP_RESPONSE& response, int status, const nlohmann::json& body)
{
    response.status = status;
    response.contentType = "application/json";
    response.body = DumpJson(body);
}
