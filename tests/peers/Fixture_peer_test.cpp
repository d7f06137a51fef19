// The fixture BMC (CIpmiSimFixture: tests/peers/ipmi_sim/make_fixture.py) read by the
// reference clients: checks that ipmitool and FreeIPMI see the sensors, FRU fields, SEL
// entries and power control the fixture is meant to have, and that their output still
// equals the reference copies in tests/data/ipmi_sim/fixture-*.txt, which the console's own
// peer tests compare against. VEXA_UPDATE_FIXTURE=1 rewrites those copies instead.
#include "tests/support/IpmiSim.h"
#include "tests/support/Paths.h"
#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace
{
constexpr DWORD TOOL_TIMEOUT_MS = 20000;

std::string Trim(const std::string& text)
{
    const char* space = " \t\r\n";
    std::size_t first = text.find_first_not_of(space);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// The '|'-separated columns of each non-empty line, trimmed.
std::vector<std::vector<std::string>> Rows(const std::string& output)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
    {
        if (Trim(line).empty())
            continue;
        std::vector<std::string> columns;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '|');)
            columns.push_back(Trim(cell));
        rows.push_back(columns);
    }
    return rows;
}

// The first row whose given column equals key; empty when there is none.
std::vector<std::string> RowOf(const std::string& output, const std::string& key,
                               std::size_t column = 0)
{
    for (auto& row : Rows(output))
        if (row.size() > column && row[column] == key)
            return row;
    return {};
}

// "Key : value" lines of one block (ipmitool fru print), keyed by the trimmed key.
std::vector<std::map<std::string, std::string>> Blocks(const std::string& output, char separator)
{
    std::vector<std::map<std::string, std::string>> blocks(1);
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
    {
        if (Trim(line).empty())
        {
            if (!blocks.back().empty())
                blocks.emplace_back();
            continue;
        }
        std::size_t at = line.find(separator);
        if (at != std::string::npos)
            blocks.back()[Trim(line.substr(0, at))] = Trim(line.substr(at + 1));
    }
    if (blocks.back().empty())
        blocks.pop_back();
    return blocks;
}

std::string Today()
{
    std::time_t now = std::time(nullptr);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", std::gmtime(&now));
    return text;
}

// A reference file's contents without its '#' header lines.
std::string StripHeader(const std::string& text)
{
    std::istringstream lines(text);
    std::string body;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("#", 0) != 0)
            body += line + "\n";
    return body;
}

class Fixture : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // ipmitool and FreeIPMI print SEL and FRU times in the local time zone.
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    void SetUp() override
    {
        if (!CIpmiSim::Available())
            GTEST_SKIP() << "ipmi_sim not installed (Debian package openipmi; ./dev setup)";
        if (FindProgram("ipmitool").empty() || FindProgram("ipmi-sensors").empty())
            GTEST_SKIP() << "ipmitool or FreeIPMI not installed (./dev setup)";
        ASSERT_TRUE(m_sim.Start()) << m_sim.LastError();
    }

    void TearDown() override
    {
        pid_t pid = m_sim.Pid();
        EXPECT_TRUE(m_sim.IsRunning()) << "ipmi_sim ended during the test\n" << m_sim.Log();
        EXPECT_TRUE(m_sim.Stop());
        if (pid > 0)
        {
            EXPECT_NE(0, ::kill(pid, 0)) << "ipmi_sim " << pid << " still exists after Stop()";
        }
    }

    // Runs a client with a bounded wait; a client that overruns is stopped by its PID.
    tagTOOL_RUN Run(const std::vector<std::string>& argv)
    {
        std::string log = m_sim.WorkDir() + "/client-" + std::to_string(++m_runs) + ".log";
        return RunTool(argv, log, TOOL_TIMEOUT_MS);
    }

    // ipmitool as admin over RMCP+ with cipher suite 3, then args.
    tagTOOL_RUN Ipmitool(std::initializer_list<std::string> args)
    {
        std::vector<std::string> argv{"ipmitool",
                                      "-I",
                                      "lanplus",
                                      "-H",
                                      "127.0.0.1",
                                      "-p",
                                      std::to_string(m_sim.Port()),
                                      "-U",
                                      IPMISIM_USER_ADMIN.name,
                                      "-P",
                                      IPMISIM_USER_ADMIN.password,
                                      "-C",
                                      "3",
                                      "-L",
                                      "ADMINISTRATOR"};
        argv.insert(argv.end(), args.begin(), args.end());
        return Run(argv);
    }

    // A FreeIPMI tool as admin with suite 3 and a fresh, empty SDR cache directory, so it
    // reads the whole repository from the simulator.
    tagTOOL_RUN FreeIpmi(const std::string& tool, std::initializer_list<std::string> args = {})
    {
        std::string cache = m_sim.WorkDir() + "/sdr-cache-" + std::to_string(m_runs + 1);
        std::error_code ec;
        std::filesystem::create_directories(cache, ec);
        std::vector<std::string> argv{tool,
                                      "-D",
                                      "LAN_2_0",
                                      "-h",
                                      "127.0.0.1:" + std::to_string(m_sim.Port()),
                                      "-u",
                                      IPMISIM_USER_ADMIN.name,
                                      "-p",
                                      IPMISIM_USER_ADMIN.password,
                                      "-I",
                                      "3",
                                      "-l",
                                      "ADMIN",
                                      "-W",
                                      "opensesspriv",
                                      "--config-file=/dev/null",
                                      "--sdr-cache-directory=" + cache,
                                      "--quiet-cache"};
        argv.insert(argv.end(), args.begin(), args.end());
        return Run(argv);
    }

    // Compares output with tests/data/ipmi_sim/NAME (header lines skipped), or rewrites
    // the file when VEXA_UPDATE_FIXTURE is set.
    void MatchReference(const std::string& name, const std::string& command,
                        const std::string& output)
    {
        const std::string path = SourcePath("tests/data/ipmi_sim/" + name);
        if (std::getenv("VEXA_UPDATE_FIXTURE") != nullptr)
        {
            const bool ipmitool = command.rfind("ipmitool", 0) == 0;
            std::string version = Run({ipmitool ? "ipmitool" : "ipmi-sensors", "-V"}).output;
            version = Trim(version.substr(0, version.find('\n')));
            if (!ipmitool) // "ipmi-sensors - 1.6.10"
                version = "FreeIPMI " + version.substr(version.rfind(' ') + 1);
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << "# " << command << " (" << version << ")\n"
                << "# Output of the reference client against OpenIPMI ipmi_sim 2.0.33 running the\n"
                << "# fixture BMC (tests/peers/ipmi_sim/fixture.emu, fixture-lan.conf,\n"
                << "# fixture-sel.persist; made by make_fixture.py), on 127.0.0.1 with TZ=UTC.\n"
                << "# Written by fixture_peer_test with VEXA_UPDATE_FIXTURE=1 on " << Today()
                << ".\n"
                << output;
            ASSERT_TRUE(out.good()) << "cannot write " << path;
            return;
        }
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in.good()) << "no reference " << path
                               << " (run with VEXA_UPDATE_FIXTURE=1 to write it)";
        std::string stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(StripHeader(stored), output)
            << command << " no longer prints the reference " << path
            << "; if the fixture changed on purpose, rerun with VEXA_UPDATE_FIXTURE=1";
    }

    CIpmiSimFixture m_sim;
    int m_runs = 0;
};

TEST_F(Fixture, IpmitoolSdrShowsEverySensorWithValueAndStatus)
{
    tagTOOL_RUN all = Ipmitool({"sdr", "elist"});
    ASSERT_TRUE(all.finished);
    ASSERT_EQ(0, all.exitCode) << all.output;
    // name, number, status, entity, reading as ipmitool words it
    const struct
    {
        const char* name;
        const char* number;
        const char* status;
        const char* entity;
        const char* reading;
    } sensors[] = {
        {"CPU Temp", "01h", "ok", "3.1", "45 degrees C"},
        {"Inlet Temp", "02h", "ok", "55.1", "-5 degrees C"}, // two's complement
        {"P12V", "10h", "ok", "7.1", "12 Volts"},            // R exponent -2
        {"P5V", "11h", "unc", "7.1", "5.20 Volts"},          // B offset, above UNC
        {"P3V3", "12h", "ok", "7.1", "3.30 Volts"},
        {"P1V8", "13h", "ns", "7.1", "No Reading"}, // only in the SDR: CCh
        {"P12V Current", "18h", "ok", "10.1", "8.20 Amps"},
        {"Batt Current", "19h", "ok", "41.1", "-0.60 Amps"}, // ones' complement
        {"CPU Power", "20h", "ok", "3.1", "190 Watts"},
        {"FAN1", "30h", "ok", "29.1", "4800 RPM"},
        {"FAN2", "31h", "lcr", "29.2", "720 RPM"},      // R exponent +1, below LC
        {"Airflow", "38h", "ns", "29.3", "No Reading"}, // non-linear (70h)
        {"Intrusion", "40h", "ok", "23.1", "General Chassis intrusion"},
        {"PS1 Status", "41h", "ok", "10.1", "Presence detected"},
        {"PS Redundancy", "42h", "ok", "10.1", "Fully Redundant"},
        {"CPU Status", "44h", "ok", "3.1", "Presence detected"},
        {"Drive 0", "48h", "ok", "4.1", "Drive Present"},
        {"Sys FW Progress", "4Fh", "ok", "34.1", ""},
    };
    EXPECT_EQ(std::size(sensors), Rows(all.output).size()) << all.output;
    for (const auto& s : sensors)
    {
        SCOPED_TRACE(s.name);
        std::vector<std::string> expected{s.name, s.number, s.status, s.entity, s.reading};
        EXPECT_EQ(expected, RowOf(all.output, s.name));
    }
    MatchReference("fixture-ipmitool-sdr-elist.txt", "ipmitool sdr elist", all.output);

    tagTOOL_RUN full = Ipmitool({"sdr", "elist", "full"});
    ASSERT_EQ(0, full.exitCode) << full.output;
    EXPECT_EQ(12u, Rows(full.output).size()) << full.output; // the full sensor records
    MatchReference("fixture-ipmitool-sdr-elist-full.txt", "ipmitool sdr elist full", full.output);
}

TEST_F(Fixture, IpmitoolSensorShowsThresholdsInEachFormat)
{
    tagTOOL_RUN run = Ipmitool({"sensor"});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0, run.exitCode) << run.output;
    // name, reading, unit, status, LNR LC LNC UNC UC UNR
    const std::vector<std::vector<std::string>> expected = {
        {"CPU Temp", "45.000", "degrees C", "ok", "0.000", "5.000", "10.000", "85.000", "90.000",
         "95.000"},
        {"Inlet Temp", "-5.000", "degrees C", "ok", "-30.000", "-25.000", "-20.000", "na", "na",
         "na"},
        {"P5V", "5.200", "Volts", "nc", "4.440", "4.520", "4.600", "5.140", "5.300", "5.400"},
        {"P3V3", "3.298", "Volts", "ok", "2.890", "2.992", "3.094", "3.468", "3.553", "3.655"},
        {"Batt Current", "-0.600", "Amps", "ok", "-4.000", "-3.000", "-2.000", "na", "na", "na"},
        {"CPU Power", "190.000", "Watts", "ok", "na", "na", "na", "300.000", "350.000", "400.000"},
        {"FAN2", "720.000", "RPM", "cr", "600.000", "900.000", "1200.000", "na", "na", "na"},
        {"P1V8", "na", "", "na", "na", "na", "na", "na", "na", "na"},
        {"Intrusion", "0x1", "discrete", "0x0100", "na", "na", "na", "na", "na", "na"},
    };
    for (const auto& row : expected)
    {
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(row, RowOf(run.output, row[0]));
    }
    MatchReference("fixture-ipmitool-sensor.txt", "ipmitool sensor", run.output);
}

TEST_F(Fixture, SelKeepsItsRecordsAndTimeStamps)
{
    tagTOOL_RUN run = Ipmitool({"sel", "elist"});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0, run.exitCode) << run.output;
    // ID, date, time, sensor, event, direction (and the trigger text for thresholds)
    const std::vector<std::vector<std::string>> expected = {
        {"1", "03/15/24", "08:05:12 UTC", "Voltage P5V", "Upper Non-critical going high",
         "Asserted", "Reading 5.20 > Threshold 5.14 Volts"},
        {"2", "03/15/24", "12:30:00 UTC", "Fan FAN2", "Lower Critical going low", "Asserted",
         "Reading 720 < Threshold 900 RPM"},
        {"3", "03/15/24", "23:59:59 UTC", "Temperature CPU Temp", "Upper Critical going high",
         "Deasserted", "Reading 80 < Threshold 90 degrees C"},
        {"4", "03/16/24", "00:00:01 UTC", "Physical Security Intrusion",
         "General Chassis intrusion", "Asserted"},
        {"5", "03/16/24", "09:41:07 UTC", "Power Supply PS1 Status", "Failure detected",
         "Asserted"},
        // generated by the BIOS (software ID), so ipmitool finds no SDR name for it
        {"6", "Pre-Init", "0000000016", "System Firmwares #0x4f", "No system memory installed",
         "Asserted"},
        {"7", "03/16/24", "09:45:00 UTC", "System Firmwares #0x4f", "System boot initiated",
         "Asserted"},
        {"8", "03/16/24", "10:00:00 UTC", "OEM record c1", "001291", "112233445566"},
        {"9", "OEM record e0", "0102030405060708090a0b0c0d"},
    };
    EXPECT_EQ(expected, Rows(run.output));
    MatchReference("fixture-ipmitool-sel-elist.txt", "ipmitool sel elist", run.output);

    tagTOOL_RUN info = Ipmitool({"sel", "info"});
    EXPECT_NE(std::string::npos, info.output.find("Entries          : 9")) << info.output;
    EXPECT_NE(std::string::npos, info.output.find("Supported Cmds   : 'Delete' 'Reserve'"));
}

TEST_F(Fixture, FruDevicesHaveChassisBoardAndProductAreas)
{
    tagTOOL_RUN run = Ipmitool({"fru", "print"});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0, run.exitCode) << run.output;
    auto blocks = Blocks(run.output, ':');
    ASSERT_EQ(2u, blocks.size()) << run.output;
    const std::map<std::string, std::string> mainboard = {
        {"FRU Device Description", "Builtin FRU Device (ID 0)"},
        {"Chassis Type", "Rack Mount Chassis"},
        {"Chassis Part Number", "CH-4410-B"},
        {"Chassis Serial", "CHS-000781"},
        {"Chassis Extra", "Rack A3"},
        {"Board Mfg Date", "Fri Mar  1 14:30:00 2024 UTC"},
        {"Board Mfg", "Vexa Test Boards"},
        {"Board Product", "VX-MB-200"},
        {"Board Serial", "MB2024-0042"},
        {"Board Part Number", "900-MB200-01"},
        {"Board Extra", "Rev C"},
        {"Product Manufacturer", "Vexa Test Systems"},
        {"Product Name", "VX-2U Server"},
        {"Product Part Number", "VX2U-100"},
        {"Product Version", "1.04"},
        {"Product Serial", "SYS-2024-1187"},
        {"Product Asset Tag", "ASSET-0815"},
    };
    const std::map<std::string, std::string> psu = {
        {"FRU Device Description", "PSU1 FRU (ID 1)"},
        {"Board Mfg Date", "Mon Nov 20 09:00:00 2023 UTC"},
        {"Board Mfg", "Vexa Power"},
        {"Board Product", "PSU-800W"},
        {"Board Serial", "PS8-11042"},
        {"Board Part Number", "700-PS800-02"},
        {"Product Manufacturer", "Vexa Power"},
        {"Product Name", "PSU 800W Platinum"},
        {"Product Part Number", "PS800-P"},
        {"Product Version", "B2"},
        {"Product Serial", "PS8-11042"},
    };
    EXPECT_EQ(mainboard, blocks[0]);
    EXPECT_EQ(psu, blocks[1]);
    MatchReference("fixture-ipmitool-fru-print.txt", "ipmitool fru print", run.output);
}

TEST_F(Fixture, FreeIpmiAgreesOnReadingsEventsAndInventory)
{
    tagTOOL_RUN sensors = FreeIpmi("ipmi-sensors");
    ASSERT_TRUE(sensors.finished);
    ASSERT_EQ(0, sensors.exitCode) << sensors.output;
    // record ID, name, type, reading, unit, event
    const std::vector<std::vector<std::string>> readings = {
        {"3", "Inlet Temp", "Temperature", "-5.00", "C", "'OK'"},
        {"5", "P5V", "Voltage", "5.20", "V", "'At or Above (>=) Upper Non-Critical Threshold'"},
        {"9", "Batt Current", "Current", "-0.60", "A", "'OK'"},
        {"12", "FAN2", "Fan", "720.00", "RPM", "'At or Below (<=) Lower Critical Threshold'"},
        {"13", "Airflow", "Other Units Based Sensor", "N/A", "CFM", "'OK'"},
        {"14", "Intrusion", "Physical Security", "N/A", "N/A", "'General Chassis Intrusion'"},
    };
    EXPECT_EQ(19u, Rows(sensors.output).size()) << sensors.output; // header and 18 sensors
    for (const auto& row : readings)
    {
        SCOPED_TRACE(row[1]);
        EXPECT_EQ(row, RowOf(sensors.output, row[1], 1));
    }
    MatchReference("fixture-freeipmi-sensors.txt", "ipmi-sensors (empty SDR cache)",
                   sensors.output);

    tagTOOL_RUN sel = FreeIpmi("ipmi-sel");
    ASSERT_EQ(0, sel.exitCode) << sel.output;
    EXPECT_EQ((std::vector<std::string>{"2", "Mar-15-2024", "12:30:00", "FAN2", "Fan",
                                        "Lower Critical - going low ; Sensor Reading = 720.00 "
                                        "RPM ; Threshold = 900.00 RPM"}),
              RowOf(sel.output, "2"));
    EXPECT_EQ((std::vector<std::string>{"6", "PostInit", "PostInit", "Sensor #79",
                                        "System Firmware Progress",
                                        "System Firmware Error ; No system memory is physically "
                                        "installed in the system"}),
              RowOf(sel.output, "6"));
    MatchReference("fixture-freeipmi-sel.txt", "ipmi-sel (empty SDR cache)", sel.output);

    tagTOOL_RUN fru = FreeIpmi("ipmi-fru");
    ASSERT_EQ(0, fru.exitCode) << fru.output;
    EXPECT_NE(std::string::npos, fru.output.find("FRU Inventory Device: PSU1 FRU (ID 01h)"));
    EXPECT_NE(std::string::npos, fru.output.find("FRU Board Manufacturing Date/Time: 03/01/24 - "
                                                 "14:30:00"));
    MatchReference("fixture-freeipmi-fru.txt", "ipmi-fru (empty SDR cache)", fru.output);
}

TEST_F(Fixture, PowerControlChangesTheSimulatorsPowerState)
{
    // The machine starts on.
    EXPECT_EQ(1, m_sim.PowerState());
    tagTOOL_RUN status = Ipmitool({"chassis", "power", "status"});
    ASSERT_EQ(0, status.exitCode) << status.output;
    EXPECT_EQ("Chassis Power is on\n", status.output);
    MatchReference("fixture-ipmitool-chassis-power-status.txt", "ipmitool chassis power status",
                   status.output);

    const struct
    {
        const char* action;
        const char* reply;
        int state;
        const char* status;
    } steps[] = {
        {"off", "Chassis Power Control: Down/Off", 0, "Chassis Power is off"},
        {"on", "Chassis Power Control: Up/On", 1, "Chassis Power is on"},
        {"soft", "Chassis Power Control: Soft", 0, "Chassis Power is off"},
        {"on", "Chassis Power Control: Up/On", 1, "Chassis Power is on"},
        // a cycle only turns the power off: ipmi_sim does not turn it on again
        {"cycle", "Chassis Power Control: Cycle", 0, "Chassis Power is off"},
        {"reset", "Chassis Power Control: Reset", 0, "Chassis Power is off"},
    };
    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.action);
        tagTOOL_RUN control = Ipmitool({"chassis", "power", step.action});
        ASSERT_EQ(0, control.exitCode) << control.output;
        EXPECT_EQ(std::string(step.reply) + "\n", control.output);
        EXPECT_EQ(step.state, m_sim.PowerState());
        tagTOOL_RUN after = Ipmitool({"chassis", "power", "status"});
        EXPECT_EQ(std::string(step.status) + "\n", after.output);
    }
    tagTOOL_RUN chassis = Ipmitool({"chassis", "status"});
    EXPECT_NE(std::string::npos, chassis.output.find("System Power         : off"))
        << chassis.output;
}

TEST_F(Fixture, ConsoleCommandsChangeTheRunningSimulator)
{
    std::string reply;
    ASSERT_TRUE(m_sim.Console("sensor_set_value 0x20 0 0x30 0x28 0", &reply)) << m_sim.LastError();
    EXPECT_EQ("", reply);
    tagTOOL_RUN fan = Ipmitool({"sdr", "get", "FAN1"});
    EXPECT_NE(std::string::npos, fan.output.find("Sensor Reading        : 2400 (+/- 0) RPM"))
        << fan.output;

    // Entries added at run time get the simulator's clock (host uptime, not a real date)
    // instead of the time stamp given.
    ASSERT_TRUE(m_sim.Console("sel_add 0x20 0x02 0x00 0x00 0x00 0x60 0x20 0x00 0x04 0x04 "
                              "0x30 0x01 0x52 0x0c 0x0f",
                              &reply))
        << m_sim.LastError();
    EXPECT_EQ("Added record 10\n", reply);
    std::vector<std::string> added = RowOf(Ipmitool({"sel", "elist"}).output, "a");
    ASSERT_GE(added.size(), 4u);
    EXPECT_EQ("Pre-Init", added[1]);
    EXPECT_EQ("Fan FAN1", added[3]);

    EXPECT_FALSE(m_sim.Console("no_such_command 1", &reply));
    EXPECT_EQ("**Unknown command: no_such_command\n", reply);
    EXPECT_TRUE(m_sim.Ping(1000)) << "the console client's leaving ended the simulator";
}

// What an SDR reader must allow for with this simulator: each record it was given by
// main_sdr_add is stored with six bytes of junk after it, which a read of FFh bytes returns
// too, and a read of more than 33 bytes is refused with CAh.
TEST_F(Fixture, GetSdrOfTheWholeRecordHasJunkOrIsRefused)
{
    tagTOOL_RUN reserve = Ipmitool({"raw", "0x0a", "0x22"});
    ASSERT_EQ(0, reserve.exitCode) << reserve.output;
    std::istringstream id(reserve.output);
    std::string low, high;
    id >> low >> high;
    const struct
    {
        const char* record;
        std::size_t recordBytes; // header and body as the length byte says
        bool refused;
    } cases[] = {
        {"1", 19, false},  // MC locator "BMC"
        {"21", 24, false}, // FRU locator "PSU1 FRU"
        {"20", 29, true},  // FRU locator "Mainboard FRU": 35 bytes with the junk
        {"2", 56, true},   // full sensor "CPU Temp"
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string("record ") + c.record);
        tagTOOL_RUN get =
            Ipmitool({"raw", "0x0a", "0x23", "0x" + low, "0x" + high, c.record, "0", "0", "0xff"});
        if (c.refused)
        {
            EXPECT_NE(std::string::npos, get.output.find("rsp=0xca")) << get.output;
            continue;
        }
        ASSERT_EQ(0, get.exitCode) << get.output;
        std::istringstream bytes(get.output);
        std::size_t count = 0;
        for (std::string byte; bytes >> byte;)
            ++count;
        EXPECT_EQ(2 + c.recordBytes + 6, count) << get.output; // next ID, record, junk
    }
}
} // namespace
