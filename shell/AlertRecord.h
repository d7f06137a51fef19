#pragma once
// One alert waiting to be sent as a text message: the sending server's name (or the trap's
// agent address text when no server matched), the server's phone text and the alert line.
// Queued by the trap handling in the document's alert queue and taken by the SMS polling
// thread. Plain data.
#include <string>

constexpr const char* ALERT_NO_MESSAGE = "NO_MESSAGE";

struct tagALERT_RECORD
{
    std::string name;
    std::string phone;
    std::string message = ALERT_NO_MESSAGE;
};
