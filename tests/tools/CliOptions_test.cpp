#include "tools/tarn-cli/CliOptions.h"

#include <gtest/gtest.h>

TEST(CliOptions, ParsesShortAndLongFormsWithDefaults)
{
    tagCLI_OPTIONS o;
    std::string error;
    ASSERT_TRUE(ParseCliOptions({"-H", "127.0.0.1", "-U", "admin", "-P", "pw", "session"}, nullptr,
                                o, error))
        << error;
    EXPECT_EQ(o.port, 623);
    EXPECT_EQ(o.authAlgorithm, 1);
    EXPECT_EQ(o.privilege, 4);
    EXPECT_FALSE(o.encrypt);

    ASSERT_TRUE(
        ParseCliOptions({"--host", "10.0.0.9", "--port", "6230", "--user", "u", "--auth", "md5",
                         "--privilege", "operator", "--encrypt", "--json", "raw", "6"},
                        "from-env", o, error))
        << error;
    EXPECT_EQ(o.port, 6230);
    EXPECT_EQ(o.authAlgorithm, 2);
    EXPECT_EQ(o.privilege, 3);
    EXPECT_TRUE(o.encrypt && o.json);
    EXPECT_EQ(o.password, "from-env") << "TARN_PASSWORD stands in for -P";
    EXPECT_EQ(o.command, "raw");
    ASSERT_EQ(o.arguments.size(), 1u);
    // Arguments after the command are the command's, even when they look like options.
    ASSERT_TRUE(ParseCliOptions({"-H", "h", "raw", "9", "-1"}, nullptr, o, error));
    EXPECT_EQ(o.arguments.size(), 2u);
}

TEST(CliOptions, RefusesBadInputWithAReason)
{
    struct
    {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"-H", "h", "-p", "70000", "session"}, "bad port: 70000"},
        {{"-H", "h", "-A", "sha256", "session"},
         "bad authentication algorithm: sha256 (sha1 or md5)"},
        {{"-H", "h", "-L", "root", "session"},
         "bad privilege level: root (callback, user, operator or admin)"},
        {{"-H", "h", "-U"}, "option -U needs a value"},
        {{"-H", "h"}, "no command given"},
        {{"session"}, "no BMC address given (-H)"},
        {{"-H", "h", "-P", "seventeen-chars!!", "session"}, "password longer than 16 bytes"},
        {{"-H", "h", "--bogus", "session"}, "unknown option: --bogus"},
        {{"-H", "h", "sensors"}, "unknown command: sensors"},
        {{"-H", "h", "--role", "root", "asf-state"}, "bad role: root (administrator or operator)"},
        {{"-H", "h", "--rsp-port", "0", "asf-ping"}, "bad value for --rsp-port: 0"},
        {{"-H", "h", "--admin-key", std::string(41, 'a'), "asf-state"},
         "key longer than 40 hex digits: --admin-key"},
    };
    for (const auto& c : cases)
    {
        tagCLI_OPTIONS o;
        std::string error;
        EXPECT_FALSE(ParseCliOptions(c.args, nullptr, o, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(CliOptions, HexBytesInTheUsualForms)
{
    BYTE v = 0;
    EXPECT_TRUE(ParseHexByte("0x1f", v));
    EXPECT_EQ(v, 0x1F);
    EXPECT_TRUE(ParseHexByte("C1h", v));
    EXPECT_EQ(v, 0xC1);
    EXPECT_TRUE(ParseHexByte("7", v));
    EXPECT_EQ(v, 7);
    for (const char* bad : {"", "0x", "100", "zz", "1g"})
        EXPECT_FALSE(ParseHexByte(bad, v)) << bad;
}

TEST(CliOptions, AsfOptionsAndPorts)
{
    tagCLI_OPTIONS o;
    std::string error;
    ASSERT_TRUE(
        ParseCliOptions({"-H", "127.0.0.1", "--role", "operator", "-U", "op", "--operator-key",
                         "ABC", "--generation-key", "01", "--asf-port", "40623", "--rsp-port",
                         "40664", "--asf-timeout", "250", "asf-power", "cycle"},
                        nullptr, o, error))
        << error;
    EXPECT_EQ(o.asfRole, 1);
    EXPECT_EQ(o.operatorKey, "ABC");
    EXPECT_EQ(o.generationKey, "01");
    EXPECT_EQ(o.asfPort, 40623);
    EXPECT_EQ(o.rspPort, 40664);
    EXPECT_EQ(o.asfTimeoutMs, 250u);
    EXPECT_EQ(o.command, "asf-power");
    EXPECT_EQ(o.arguments, std::vector<std::string>{"cycle"});

    ASSERT_TRUE(ParseCliOptions({"-H", "h", "asf-ping"}, nullptr, o, error));
    EXPECT_EQ(o.asfPort, 623);
    EXPECT_EQ(o.rspPort, 664);
    EXPECT_EQ(o.asfTimeoutMs, 3000u);
    EXPECT_EQ(o.asfRole, 0);
}
