#include "tools/tarn-cli/ServerCommands.h"

#include "servers/IPMIServer.h"
#include "servers/ServersMessages.h"
#include "transport/CommandTable.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>

namespace
{
// How long the tool waits for an SDR load, a SEL fetch or the first round of readings.
constexpr auto LOAD_LIMIT = std::chrono::seconds(120);
constexpr auto READINGS_LIMIT = std::chrono::seconds(30);

// Receives the server object's messages on its worker threads and lets the tool wait for
// the ones that end a step; texts are taken over and freed as the protocol says.
class CCliSink final : public IMessageSink
{
public:
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_VEXA_LOG_TEXT ||
            (message == WM_VEXA_PROGRESS && wParam == PROGRESS_STATUS_TEXT))
            TakeMessageText(lParam);
        std::lock_guard<std::mutex> guard(m_lock);
        if (message == WM_VEXA_SDR_LOADED)
            m_sdrDone = true;
        else if (message == WM_VEXA_SEL_FETCHED)
        {
            m_selDone = true;
            m_selOk = wParam != 0;
        }
        m_changed.notify_all();
        return TRUE;
    }
    SinkResult Send(UINT message, WPARAM, LPARAM, DWORD, LRESULT* result) override
    {
        if (result != nullptr)
            *result = 0;
        std::lock_guard<std::mutex> guard(m_lock);
        if (message == WM_VEXA_READINGS_UPDATED)
            ++m_readingRounds;
        m_changed.notify_all();
        return SinkResult::Delivered;
    }

    bool WaitSdr()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, LOAD_LIMIT, [&] { return m_sdrDone; });
    }
    bool WaitSel(bool& ok)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        bool done = m_changed.wait_for(lock, LOAD_LIMIT, [&] { return m_selDone; });
        ok = m_selOk;
        return done;
    }
    bool WaitReadings()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, READINGS_LIMIT, [&] { return m_readingRounds > 0; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_sdrDone = false;
    bool m_selDone = false;
    bool m_selOk = false;
    int m_readingRounds = 0;
};

int Fail(const std::string& reason)
{
    std::cerr << "tarn-cli: " << reason << "\n";
    return 1;
}

const char* ReasonOf(CIPMIServer& server)
{
    CIPMIConnect* connection = server.GetConnection();
    return connection != nullptr ? connection->LastReason() : "no connection";
}

BOOL LoadSdr(CIPMIServer& server, CCliSink& sink)
{
    if (!server.LoadSdr(&sink) || !sink.WaitSdr())
        return FALSE;
    return server.IsSdrLoaded();
}

// The sensor's value as the views present it: the converted reading for sensors with an
// analog reading, the discrete text for the others.
void SensorValue(const CSensor& sensor, bool& numeric, tagSENSOR_VALUE& value, std::string& text)
{
    numeric = sensor.ConvertRaw(sensor.GetRawReading(), value) != FALSE;
    text = numeric ? sensor.FormatValue(value)
                   : CSensor::GetDiscreteText(sensor.GetSensorType(), sensor.GetRawReading());
}

int PrintSdr(CIPMIServer& server, CCliSink& sink, bool json)
{
    if (!LoadSdr(server, sink))
        return Fail(std::string("SDR load failed: ") + ReasonOf(server));
    server.StartPolling(TRUE, FALSE);
    if (!sink.WaitReadings())
        std::cerr << "tarn-cli: no round of readings came in; showing the last known values\n";
    nlohmann::json out = nlohmann::json::array();
    CSensorAccess sensors = server.AccessSensors();
    for (std::size_t i = 0; i < sensors.Count(); ++i)
    {
        const CSensor& s = sensors.At(i);
        bool numeric = false;
        tagSENSOR_VALUE value;
        std::string text;
        SensorValue(s, numeric, value, text);
        if (json)
        {
            nlohmann::json row = {{"record_id", s.GetRecordId()},
                                  {"number", s.GetSensorNumber()},
                                  {"name", s.GetIdString()},
                                  {"type", s.GetSensorTypeText()},
                                  {"raw", s.GetRawReading()},
                                  {"text", text},
                                  {"units", numeric ? std::string(value.units) : std::string()},
                                  {"status", s.GetStateText()},
                                  {"severity", s.GetStatus()}};
            row["value"] = numeric ? nlohmann::json(value.value) : nlohmann::json(nullptr);
            out.push_back(row);
            continue;
        }
        std::printf("%04X  %3u  %-16s  %-24s  %02X  %-20s  %s\n", s.GetRecordId(),
                    s.GetSensorNumber(), s.GetIdString().c_str(), s.GetSensorTypeText(),
                    s.GetRawReading(), text.c_str(), s.GetStateText());
    }
    if (json)
        std::cout << out.dump() << "\n";
    return 0;
}

// Get SEL Info: TRUE when the BMC answers and counts no entries.
bool SelIsEmpty(CIPMIServer& server)
{
    const BYTE request[] = {ROW_GET_SEL_INFO};
    tagIPMI_REPLY reply;
    return server.SendCommand(request, sizeof request, reply) && reply.data[1] == 0 &&
           reply.length >= 6 && reply.data[3] == 0 && reply.data[4] == 0;
}

int PrintSel(CIPMIServer& server, CCliSink& sink, bool json)
{
    // Sensor names come from the SDR; a failed load leaves them unknown but the log shows.
    LoadSdr(server, sink);
    bool ok = false;
    if (!server.FetchSel(&sink) || !sink.WaitSel(ok))
        return Fail(std::string("SEL fetch failed: ") + ReasonOf(server));
    if (!ok && !SelIsEmpty(server)) // an empty log also ends its fetch with "failure"
        return Fail(std::string("SEL fetch failed: ") + ReasonOf(server));
    std::vector<CSEL> entries = server.GetFetchedSel();
    nlohmann::json out = nlohmann::json::array();
    CSensorAccess sensors = server.AccessSensors();
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        const CSEL& e = entries[i];
        const CSensor* sensor = sensors.FindSensor(e.GetSensorNumber());
        std::string name = sensor != nullptr ? sensor->GetIdString() : e.GetSensorTypeText();
        if (json)
        {
            out.push_back({{"index", i + 1},
                           {"record_id", e.GetRecordId()},
                           {"time", e.GetTimeText()},
                           {"direction", e.GetDirectionText()},
                           {"sensor_number", e.GetSensorNumber()},
                           {"sensor", name},
                           {"description", e.GetDescription()}});
            continue;
        }
        std::printf("%4zu  %04X  %-22s  %-10s  %-16s  %s\n", i + 1, e.GetRecordId(),
                    e.GetTimeText().c_str(), e.GetDirectionText(), name.c_str(),
                    e.GetDescription());
    }
    if (json)
        std::cout << out.dump() << "\n";
    return 0;
}

int PrintFru(CIPMIServer& server, CCliSink& sink, const tagCLI_OPTIONS& options)
{
    int only = -1;
    if (options.arguments.size() > 1)
        return Fail("fru takes at most one device ID");
    if (!options.arguments.empty())
    {
        char* end = nullptr;
        long id = std::strtol(options.arguments[0].c_str(), &end, 10);
        if (*end != '\0' || id < 0 || id > 255)
            return Fail("bad FRU device ID: " + options.arguments[0]);
        only = static_cast<int>(id);
    }
    if (!LoadSdr(server, sink))
        return Fail(std::string("SDR load failed: ") + ReasonOf(server));
    std::vector<UINT> devices;
    {
        CSensorAccess sensors = server.AccessSensors();
        for (const tagFRU_LOCATOR& locator : sensors.FruLocators())
            devices.push_back(locator.bytes[6]); // FRU device ID of the locator record
    }
    if (only >= 0)
        devices = {static_cast<UINT>(only)};
    nlohmann::json out = nlohmann::json::array();
    int failures = 0;
    for (UINT id : devices)
    {
        const CFruRecord* fru = server.ReadFruRecord(id);
        if (fru == nullptr)
        {
            std::cerr << "tarn-cli: FRU device " << id << " could not be read\n";
            ++failures;
            continue;
        }
        nlohmann::json areas = nlohmann::json::object();
        if (!options.json)
            std::printf("FRU device %u: %s\n", id, GetFruDeviceName(id));
        for (FruArea area : {FruArea::Chassis, FruArea::Board, FruArea::Product})
        {
            if (!fru->IsAreaValid(area))
                continue;
            nlohmann::json fields = nlohmann::json::object();
            if (!options.json)
                std::printf("  %s\n", FruAreaName(area));
            for (const tagFRU_FIELD_LINE& line : fru->GetFieldLines(area))
            {
                fields[line.label] = line.value;
                if (!options.json)
                    std::printf("    %s: %s\n", line.label.c_str(), line.value.c_str());
            }
            areas[FruAreaName(area)] = fields;
        }
        out.push_back({{"id", id}, {"name", GetFruDeviceName(id)}, {"areas", areas}});
    }
    if (options.json)
        std::cout << out.dump() << "\n";
    if (only >= 0 && failures > 0)
        return 1;
    return 0;
}

int Power(CIPMIServer& server, const tagCLI_OPTIONS& options)
{
    std::string what = options.arguments.empty() ? "status" : options.arguments[0];
    tagIPMI_REPLY reply;
    if (what == "status")
    {
        const BYTE request[] = {ROW_GET_CHASSIS_STATUS};
        if (!server.SendCommand(request, sizeof request, reply) || reply.data[1] != 0)
            return Fail(std::string("Get Chassis Status failed: ") + ReasonOf(server));
        bool on = (reply.data[2] & 0x01) != 0;
        if (options.json)
            std::cout << nlohmann::json{{"power", on ? "on" : "off"}}.dump() << "\n";
        else
            std::printf("Chassis Power is %s\n", on ? "on" : "off");
        return 0;
    }
    // Chassis Control: 0 power down, 1 power up, 2 power cycle, 3 hard reset.
    const char* actions[] = {"off", "on", "cycle", "reset"};
    for (BYTE code = 0; code < 4; ++code)
    {
        if (what != actions[code])
            continue;
        const BYTE request[] = {ROW_CHASSIS_CONTROL, code};
        if (!server.SendCommand(request, sizeof request, reply))
            return Fail(std::string("Chassis Control failed: ") + ReasonOf(server));
        if (reply.data[1] != 0)
        {
            char text[64];
            std::snprintf(text, sizeof text, "BMC answered completion code %02Xh", reply.data[1]);
            return Fail(text);
        }
        if (options.json)
            std::cout << nlohmann::json{{"power", what}, {"done", true}}.dump() << "\n";
        else
            std::printf("Chassis Power Control: %s\n", what.c_str());
        return 0;
    }
    return Fail("power takes status, on, off, cycle or reset");
}

int Run(CIPMIServer& server, CCliSink& sink, const tagCLI_OPTIONS& options)
{
    const std::string& command = options.command;
    if (command == "guid")
    {
        std::string text;
        if (!server.ReadDeviceGuid(text))
            return Fail(std::string("Get Device GUID failed: ") + ReasonOf(server));
        if (options.json)
            std::cout << nlohmann::json{{"guid", text}}.dump() << "\n";
        else
            std::printf("%s\n", text.c_str());
        return 0;
    }
    if (command == "sdr")
        return PrintSdr(server, sink, options.json);
    if (command == "sel")
        return PrintSel(server, sink, options.json);
    if (command == "sel-clear")
    {
        if (!server.ClearSel())
            return Fail(std::string("Clear SEL failed: ") + ReasonOf(server));
        if (options.json)
            std::cout << nlohmann::json{{"cleared", true}}.dump() << "\n";
        else
            std::printf("SEL cleared\n");
        return 0;
    }
    if (command == "fru")
        return PrintFru(server, sink, options);
    return Power(server, options);
}
} // namespace

BOOL IsServerCommand(const std::string& command)
{
    for (const char* name : {"guid", "sdr", "sel", "sel-clear", "fru", "power"})
        if (command == name)
            return TRUE;
    return FALSE;
}

int RunServerCommand(const tagCLI_OPTIONS& options, DWORD address,
                     const tagLAN_CONNECT_PARAM& param)
{
    tagSERVER_RECORD record;
    std::snprintf(record.name, sizeof record.name, "%s", options.host.c_str());
    record.ipAddress = address;
    record.serverType = SERVER_TYPE_IPMI;
    CRecordingMessageBoxes boxes; // the reason line says what a box would
    CCliSink sink;
    tagIPMI_SERVER_ENV env;
    env.transport.messageBox = &boxes;
    env.port = options.port;
    env.sink = &sink;
    env.intervalsFromRegistry = FALSE;
    CIPMIServer server(record, std::move(env));
    if (!server.Connect(param))
        return Fail(std::string("cannot open a session: ") + ReasonOf(server));
    int status = Run(server, sink, options);
    if (!server.Disconnect())
        std::cerr << "tarn-cli: closing the session failed: " << ReasonOf(server) << "\n";
    return status;
}
