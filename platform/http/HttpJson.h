#pragma once
// JSON bodies for route handlers: parse a request body that must be one JSON object, and
// write a JSON response.
#include "platform/http/HttpTypes.h"

#include <nlohmann/json.hpp>

#include <string>

// FALSE with a one-line reason when the body is not a JSON object.
BOOL ParseJsonBody(const tagHTTP_REQUEST& request, nlohmann::json* body, std::string* reason);
void SetJson(tagHTTP_RESPONSE& response, int status, const nlohmann::json& body);
// Serialises without failing on invalid UTF-8 in texts (replaced, never thrown).
std::string DumpJson(const nlohmann::json& value);
