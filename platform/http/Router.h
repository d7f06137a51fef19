#pragma once
// A router table: exact paths, each with the handlers of its methods. Public routes (the
// page's own static files) need no token; a stream route hands the connection to an event
// channel instead of a handler. Filled before the server starts, then read-only.
#include "platform/http/HttpTypes.h"

#include <string>
#include <vector>

class CEventChannel;

struct tagROUTE
{
    std::string method;
    std::string path;
    HttpHandler handler;
    BOOL isPublic = FALSE;
    CEventChannel* stream = nullptr;
};

class CRouter
{
public:
    void Add(tagROUTE route);
    // 0 with *route set, 404 for an unknown path, or 405 with *allow listing the methods
    // the path has. HEAD is answered by a GET route.
    int Find(const std::string& method, const std::string& path, const tagROUTE** route,
             std::string* allow) const;

private:
    std::vector<tagROUTE> m_routes;
};
