// tarn-cli's server commands against the ipmi_sim fixture, with ipmitool reading the same
// BMC as the second opinion: values, units, statuses, event-log rows, inventory fields and
// power control must agree (wording may differ by design; values may not).
#include "tests/support/IpmiSim.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#ifndef VEXA_BIN_DIR
#define VEXA_BIN_DIR "build/bin"
#endif

namespace
{
std::string RunCommand(const std::string& command, int* status = nullptr)
{
    // coreutils timeout bounds every client run; stderr is left out of what is parsed.
    const std::string bounded = "timeout 60 " + command + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(bounded.c_str(), "r"), pclose);
    std::string out;
    if (!pipe)
        return out;
    std::array<char, 512> buffer;
    while (fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr)
        out += buffer.data();
    int rc = pclose(pipe.release());
    if (status != nullptr)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '|');)
    {
        auto b = field.find_first_not_of(' ');
        auto e = field.find_last_not_of(' ');
        out.push_back(b == std::string::npos ? "" : field.substr(b, e - b + 1));
    }
    return out;
}

class TarnCliPeerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!CIpmiSim::Available())
            GTEST_SKIP() << "ipmi_sim is not installed (./dev setup installs openipmi)";
        ASSERT_TRUE(sim.Start()) << sim.LastError();
    }
    std::string Cli(const std::string& args, int* status = nullptr)
    {
        return RunCommand(std::string(VEXA_BIN_DIR) + "/tarn-cli -H 127.0.0.1 -p " +
                              std::to_string(sim.Port()) + " -U " + IPMISIM_USER_ADMIN.name +
                              " -P " + IPMISIM_USER_ADMIN.password + " " + args,
                          status);
    }
    std::string Ipmitool(const std::string& args)
    {
        return RunCommand("env TZ=UTC ipmitool -I lanplus -C 3 -H 127.0.0.1 -p " +
                          std::to_string(sim.Port()) + " -U " + IPMISIM_USER_ADMIN.name + " -P " +
                          IPMISIM_USER_ADMIN.password + " " + args);
    }
    nlohmann::json CliJson(const std::string& args)
    {
        int status = -1;
        std::string out = Cli("--json " + args, &status);
        EXPECT_EQ(status, 0) << args;
        return nlohmann::json::parse(out, nullptr, false);
    }

    CIpmiSimFixture sim;
};

int Severity(const std::string& ipmitoolStatus)
{
    if (ipmitoolStatus == "ok")
        return 0;
    if (ipmitoolStatus == "nc" || ipmitoolStatus == "unc" || ipmitoolStatus == "lnc")
        return 1;
    if (ipmitoolStatus == "cr" || ipmitoolStatus == "ucr" || ipmitoolStatus == "lcr")
        return 2;
    if (ipmitoolStatus == "nr" || ipmitoolStatus == "unr" || ipmitoolStatus == "lnr")
        return 3;
    return -1; // ns: no reading
}
} // namespace

TEST_F(TarnCliPeerTest, SensorsAgreeWithIpmitool)
{
    nlohmann::json ours = CliJson("sdr");
    ASSERT_TRUE(ours.is_array()) << "tarn-cli sdr --json did not print JSON";
    std::map<int, nlohmann::json> byNumber;
    for (const auto& s : ours)
        byNumber[s["number"].get<int>()] = s;

    std::stringstream reference(Ipmitool("sdr elist full"));
    int compared = 0;
    for (std::string line; std::getline(reference, line);)
    {
        auto f = Fields(line);
        if (f.size() < 5)
            continue;
        int number = std::stoi(f[1], nullptr, 16);
        SCOPED_TRACE(line);
        ASSERT_TRUE(byNumber.count(number)) << "sensor missing from tarn-cli sdr";
        const auto& s = byNumber[number];
        EXPECT_EQ(s["name"].get<std::string>(), f[0]);
        if (f[4] == "No Reading")
            continue;
        // "45 degrees C", "-0.60 Amps": the number, then the units.
        double value = std::stod(f[4]);
        ASSERT_FALSE(s["value"].is_null());
        EXPECT_NEAR(s["value"].get<double>(), value, std::fabs(value) * 0.01 + 0.01);
        // Our units texts follow the console's own rules: a plain Amps or Watts sensor has
        // none by design. Where we show units they must be ipmitool's.
        std::string units = f[4].substr(f[4].find(' ') + 1);
        std::string ourUnits = s["units"].get<std::string>();
        if (!ourUnits.empty())
        {
            EXPECT_NE(ourUnits.find(units.substr(0, 3)), std::string::npos)
                << "units " << ourUnits << " vs " << units;
        }
        EXPECT_EQ(s["severity"].get<int>(), Severity(f[2]));
        ++compared;
    }
    EXPECT_GE(compared, 8) << "live readings (through the standard fallback) were compared";
}

TEST_F(TarnCliPeerTest, EventLogAgreesWithIpmitool)
{
    nlohmann::json ours = CliJson("sel");
    ASSERT_TRUE(ours.is_array());
    std::stringstream reference(Ipmitool("sel elist"));
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(reference, line);)
        if (Fields(line).size() >= 3)
            rows.push_back(Fields(line));
    ASSERT_EQ(ours.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
    {
        SCOPED_TRACE(ours[i].dump());
        EXPECT_EQ(ours[i]["record_id"].get<int>(), std::stoi(rows[i][0], nullptr, 16));
        const std::string& last = rows[i].back();
        std::string direction = ours[i]["direction"].get<std::string>();
        bool deasserted = false;
        for (const auto& field : rows[i])
            deasserted = deasserted || field == "Deasserted";
        if (last == "Asserted" || deasserted)
        {
            EXPECT_EQ(direction.find("Deassert") != std::string::npos, deasserted);
        }
    }
}

TEST_F(TarnCliPeerTest, InventoryAgreesWithIpmitoolThroughSmallReads)
{
    nlohmann::json ours = CliJson("fru");
    ASSERT_TRUE(ours.is_array());
    ASSERT_EQ(ours.size(), 2u);
    std::stringstream reference(Ipmitool("fru print"));
    int device = -1;
    int compared = 0;
    for (std::string line; std::getline(reference, line);)
    {
        auto colon = line.find(" : ");
        if (colon == std::string::npos)
            continue;
        std::string label = line.substr(0, colon);
        std::string value = line.substr(colon + 3);
        label.erase(0, label.find_first_not_of(' '));
        label.erase(label.find_last_not_of(' ') + 1);
        if (label == "FRU Device Description")
        {
            ++device;
            continue;
        }
        if (label.rfind("Board", 0) != 0 && label.rfind("Product", 0) != 0)
            continue;
        // Dates are worded differently by design, and the console's labelled fields leave
        // out the extra fields and the asset tag.
        if (label == "Board Mfg Date" || label.find("Extra") != std::string::npos ||
            label == "Product Asset Tag")
            continue;
        SCOPED_TRACE(label + " : " + value);
        ASSERT_GE(device, 0);
        bool found = false;
        for (const auto& area : ours[device]["areas"])
            for (const auto& field : area)
                found = found || field.get<std::string>() == value;
        EXPECT_TRUE(found) << "not among tarn-cli's fields of device " << device;
        ++compared;
    }
    EXPECT_GE(compared, 15);
}

TEST_F(TarnCliPeerTest, PowerControlChangesTheSimulatorAndClearsTheLog)
{
    ASSERT_EQ(sim.PowerState(), 1);
    int status = -1;
    Cli("power off", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(sim.PowerState(), 0);
    EXPECT_NE(Cli("power status").find("off"), std::string::npos);
    EXPECT_NE(Ipmitool("chassis power status").find("off"), std::string::npos);
    Cli("power on", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(sim.PowerState(), 1);

    Cli("sel-clear", &status);
    EXPECT_EQ(status, 0);
    nlohmann::json after = CliJson("sel");
    EXPECT_TRUE(after.is_array() && after.empty()) << after.dump();
    // The device GUID, where the BMC has one: ipmitool's raw Get Device GUID says.
    if (!Ipmitool("raw 6 8").empty())
    {
        EXPECT_EQ(Cli("guid").size(), 39u) << "{8-4-4-4-12} and a newline";
    }
}
