// bench-server-list: saving and loading the stored server list at its largest, 254 servers
// (every tag in use), through the console's own store, in a scratch registry.
#include "platform/Registry.h"
#include "shell/ServerListStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    char dir[] = "/tmp/vexa-bench-list-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return 1;
    CRegistry registry;
    if (registry.Open(std::string(dir) + "/registry.db") != ERROR_SUCCESS)
        return 1;
    std::vector<tagSERVER_RECORD> records(SERVER_TAG_LIMIT);
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        SetRecordName(records[i], "Server " + std::to_string(i));
        records[i].ipAddress = 0x0A000000u + static_cast<DWORD>(i) + 1;
        records[i].serverTag = static_cast<BYTE>(i);
        records[i].serverType = i % 2 == 0 ? SERVER_TYPE_IPMI : 0;
        records[i].macAddress[5] = static_cast<BYTE>(i);
    }
    std::vector<double> saves, loads;
    BOOL ok = TRUE;
    for (int r = 0; r < rounds && ok; ++r)
    {
        auto t0 = std::chrono::steady_clock::now();
        ok = SaveServerList(registry, records) == ERROR_SUCCESS;
        auto t1 = std::chrono::steady_clock::now();
        const auto loaded = LoadServerList(registry);
        auto t2 = std::chrono::steady_clock::now();
        ok = ok && loaded.size() == records.size();
        saves.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        loads.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    registry.Close();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    if (!ok)
    {
        std::printf("bench-server-list: a save or load of %zu servers failed\n", records.size());
        return 1;
    }
    std::sort(saves.begin(), saves.end());
    std::sort(loads.begin(), loads.end());
    std::printf("bench-server-list: %zu servers, %d rounds: save median %.2f ms (max %.2f), "
                "load median %.2f ms (max %.2f)\n",
                records.size(), rounds, saves[saves.size() / 2], saves.back(),
                loads[loads.size() / 2], loads.back());
    return 0;
}
