#include "host/HostOptions.h"

#include <gtest/gtest.h>

TEST(HostOptions, ParsesTheCommandLineAndRefusesWhatItCannotUse)
{
    struct Case
    {
        std::vector<std::string> args;
        bool ok;
        std::string host;
        int port;
    };
    const Case cases[] = {
        {{}, true, "127.0.0.1", 8623},
        {{"--listen", "127.0.0.1:0"}, true, "127.0.0.1", 0},
        {{"--listen", "localhost:9000"}, true, "127.0.0.1", 9000},
        {{"--listen", "192.0.2.7:65535"}, true, "192.0.2.7", 65535},
        {{"--listen", "127.0.0.1:65536"}, false, "", 0},
        {{"--listen", "127.0.0.1"}, false, "", 0},
        {{"--listen", ":8623"}, false, "", 0},
        {{"--listen", "example.com:80"}, false, "", 0},
        {{"--listen", "127.0.0.1:-1"}, false, "", 0},
        {{"--listen", "127.0.0.1:80x"}, false, "", 0},
        {{"--token", "0123456789abcdef"}, true, "127.0.0.1", 8623},
        {{"--token", "short"}, false, "", 0},
        {{"--token", "0123456789abcdef;"}, false, "", 0},
        {{"--token"}, false, "", 0},
        {{"--data", "/tmp/x", "--web", "/tmp/w"}, true, "127.0.0.1", 8623},
        {{"--verbose"}, false, "", 0},
    };
    for (const Case& c : cases)
    {
        tagHOST_OPTIONS options;
        std::string error;
        const BOOL ok = ParseHostOptions(c.args, &options, &error);
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        EXPECT_EQ(ok != FALSE, c.ok) << line << error;
        if (ok)
        {
            EXPECT_EQ(options.listenHost, c.host) << line;
            EXPECT_EQ(options.port, c.port) << line;
        }
        else
        {
            EXPECT_FALSE(error.empty()) << line;
        }
    }
}
