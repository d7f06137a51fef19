#pragma once
// A small BMC for the server object's tests, answering through a CScriptedConnection: an SDR
// repository, a SEL, FRU inventory bytes, sensor readings and the chassis power state, each
// changed by the test between rounds. Records come from tests/data. Header-only, test use.
#include "servers/IPMIServer.h"
#include "servers/ServersMessages.h"
#include "tests/support/Hex.h"
#include "tests/support/Paths.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/ScriptedConnection.h"
#include "transport/CommandTable.h"

#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

inline std::vector<BYTE> LoadHex(const std::string& relative)
{
    std::ifstream file(SourcePath("tests/data/" + relative + ".hex"));
    std::stringstream text;
    text << file.rdbuf();
    return FromHex(text.str());
}

// A record with its record ID (bytes 0-1) replaced.
inline std::vector<BYTE> WithRecordId(std::vector<BYTE> record, WORD id)
{
    record.at(0) = static_cast<BYTE>(id);
    record.at(1) = static_cast<BYTE>(id >> 8);
    return record;
}

inline bool IsTextMessage(UINT message, WPARAM wParam)
{
    return message == WM_VEXA_LOG_TEXT ||
           (message == WM_VEXA_PROGRESS && wParam == PROGRESS_STATUS_TEXT);
}

class CScriptedBmc
{
public:
    static constexpr WORD RESERVATION = 0x2A17;

    explicit CScriptedBmc(CScriptedConnection& connection)
    {
        connection.SetResponder([this](const tagSCRIPTED_REQUEST& r) { return Answer(r); });
    }

    std::mutex lock;                    // guards everything below; tests change it between rounds
    std::vector<std::vector<BYTE>> sdr; // in repository order, IDs as stored
    std::set<WORD> rejectedSdr;         // answered with CCh
    std::vector<std::vector<BYTE>> sel; // 16-byte entries in log order
    std::vector<BYTE> fru;              // device 0
    BYTE fruLimit = 48;                 // larger requests get C8h
    bool fruEndsWithData = false;       // offsets past fru's size get C9h
    BYTE sdrReadLimit = 0xFF;           // longer record reads get CAh
    std::map<BYTE, std::vector<BYTE>> batch;   // start index -> next index, then pairs
    BYTE batchCode = 0;                        // completion code for the batch command
    std::map<BYTE, std::vector<BYTE>> reading; // Get Sensor Reading response per sensor
    BYTE power = 0x01;
    std::vector<BYTE> clearRequest;

    std::optional<tagSCRIPTED_REPLY> Answer(const tagSCRIPTED_REQUEST& r)
    {
        std::lock_guard<std::mutex> guard(lock);
        auto ok = [](std::vector<BYTE> data) { return tagSCRIPTED_REPLY{0, std::move(data)}; };
        auto fail = [](BYTE code) { return tagSCRIPTED_REPLY{code, {}}; };
        const BYTE resvLo = static_cast<BYTE>(RESERVATION), resvHi = RESERVATION >> 8;
        switch (r.row)
        {
        case ROW_GET_SDR_REPOSITORY_INFO:
            return ok({0x51, static_cast<BYTE>(sdr.size()), static_cast<BYTE>(sdr.size() >> 8), 0,
                       0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        case ROW_RESERVE_SDR_REPOSITORY:
        case ROW_RESERVE_SEL:
            return ok({resvLo, resvHi});
        case ROW_GET_SDR:
        {
            WORD id = static_cast<WORD>(r.data.at(2) | r.data.at(3) << 8);
            if (rejectedSdr.count(id))
                return fail(0xCC);
            const std::size_t offset = r.data.at(4);
            const std::size_t count = r.data.at(5);
            for (std::size_t i = 0; i < sdr.size(); ++i)
            {
                if (id != 0 && IdOf(sdr[i]) != id)
                    continue;
                WORD next = i + 1 < sdr.size() ? IdOf(sdr[i + 1]) : 0xFFFF;
                std::vector<BYTE> data = {static_cast<BYTE>(next), static_cast<BYTE>(next >> 8)};
                std::size_t end = count == 0xFF ? sdr[i].size() : offset + count;
                if (end - offset > sdrReadLimit)
                    return fail(0xCA);
                for (std::size_t b = offset; b < end && b < sdr[i].size(); ++b)
                    data.push_back(sdr[i][b]);
                return ok(data);
            }
            return fail(0xCB);
        }
        case ROW_GET_SEL_INFO:
            return ok({0x51, static_cast<BYTE>(sel.size()), static_cast<BYTE>(sel.size() >> 8), 0,
                       0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        case ROW_GET_SEL_ENTRY:
        {
            WORD id = static_cast<WORD>(r.data.at(2) | r.data.at(3) << 8);
            for (std::size_t i = 0; i < sel.size(); ++i)
            {
                if (id != 0 && IdOf(sel[i]) != id)
                    continue;
                WORD next = i + 1 < sel.size() ? IdOf(sel[i + 1]) : 0xFFFF;
                std::vector<BYTE> data = {static_cast<BYTE>(next), static_cast<BYTE>(next >> 8)};
                data.insert(data.end(), sel[i].begin(), sel[i].end());
                return ok(data);
            }
            return fail(0xCB);
        }
        case ROW_CLEAR_SEL:
            clearRequest = r.data;
            sel.clear();
            return ok({0x01});
        case ROW_READ_FRU_DATA:
        {
            std::size_t offset = r.data.at(1) | r.data.at(2) << 8;
            BYTE count = r.data.at(3);
            if (count > fruLimit)
                return fail(0xC8);
            if (fruEndsWithData && offset >= fru.size())
                return fail(0xC9);
            std::vector<BYTE> data = {count};
            for (std::size_t i = 0; i < count; ++i)
                data.push_back(offset + i < fru.size() ? fru[offset + i] : 0);
            return ok(data);
        }
        case ROW_OEM_BATCH_READINGS:
        {
            if (batchCode != 0)
                return fail(batchCode);
            auto it = batch.find(r.data.at(0));
            return it == batch.end() ? fail(0xCC) : ok(it->second);
        }
        case ROW_GET_SENSOR_READING:
        {
            auto it = reading.find(r.data.at(0));
            return it == reading.end() ? fail(0xCB) : ok(it->second);
        }
        case ROW_GET_CHASSIS_STATUS:
            return ok({power, 0x00, 0x00});
        default:
            return std::nullopt;
        }
    }

private:
    static WORD IdOf(const std::vector<BYTE>& record)
    {
        return static_cast<WORD>(record.at(0) | record.at(1) << 8);
    }
};

inline tagSERVER_RECORD TestServerRecord()
{
    tagSERVER_RECORD record;
    std::snprintf(record.name, sizeof record.name, "%s", "rack-7");
    record.ipAddress = 0x7F000002; // 127.0.0.2
    record.serverTag = 7;
    record.serverType = SERVER_TYPE_IPMI;
    return record;
}
