// Registry speed with every write durable: single writes per second, and the server-list
// save (delete the SERVERS tree, write 254 keys of 7 values each) that the console runs when
// the operator saves the list. Usage: bench-registry [--dir DIR] (default: a temporary
// folder under $TMPDIR or /tmp, removed afterwards). The database lives on that folder's
// file system, so run it where the data folder will be.
#include "platform/Registry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

constexpr int SINGLE_WRITES = 1000;
constexpr int SERVERS = 254;
constexpr const char* SERVERS_KEY = "Software\\Vexa\\Tarn\\SERVERS";

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

BOOL Check(LONG result, const char* what)
{
    if (result == ERROR_SUCCESS)
        return TRUE;
    std::fprintf(stderr, "bench-registry: %s failed (%d): %s\n", what, int(result),
                 RegLastErrorText().c_str());
    return FALSE;
}

BOOL SetText(HKEY key, const char* name, const std::string& text, BOOL withNul)
{
    return Check(RegSetValueEx(key, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               DWORD(text.size() + (withNul ? 1 : 0))),
                 name);
}

// The save as the console does it: delete the stored list, then one key per server with
// its seven values in order.
BOOL SaveServerList()
{
    LONG deleted = RegDeleteTree(HKEY_LOCAL_MACHINE, SERVERS_KEY);
    if (deleted != ERROR_FILE_NOT_FOUND && !Check(deleted, "RegDeleteTree"))
        return FALSE;
    for (int j = 0; j < SERVERS; ++j)
    {
        std::string path = std::string(SERVERS_KEY) + "\\" + std::to_string(j);
        HKEY key = nullptr;
        if (!Check(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS, &key, nullptr),
                   "RegCreateKeyEx"))
            return FALSE;
        BYTE connection = 0, tag = BYTE(j), type = BYTE(j % 2);
        DWORD address = 0xC0A80000u + DWORD(j);
        char mac[20];
        std::snprintf(mac, sizeof mac, "%x:%x:%x:%x:%x:%x", 0, 0x1b, 0x21, j, 0xa, 0xb);
        BOOL ok = Check(RegSetValueEx(key, "CNNType", REG_BINARY, &connection, 1), "CNNType") &&
                  Check(RegSetValueEx(key, "SvrTag", REG_BINARY, &tag, 1), "SvrTag") &&
                  Check(RegSetValueEx(key, "SvrType", REG_BINARY, &type, 1), "SvrType") &&
                  SetText(key, "dwUIp", std::to_string(address), FALSE) &&
                  SetText(key, "SvrName", "server-" + std::to_string(j), TRUE) &&
                  SetText(key, "SvrMac", mac, FALSE) && SetText(key, "SMSPhoneNum", "", TRUE);
        RegCloseKey(key);
        if (!ok)
            return FALSE;
    }
    return TRUE;
}

BOOL TimeSaves(BOOL batched, int runs, double& median)
{
    std::vector<double> samples;
    for (int run = 0; run < runs; ++run)
    {
        Clock::time_point start = Clock::now();
        BOOL ok;
        if (batched)
        {
            CRegBatch batch;
            ok = Check(batch.Status(), "BeginBatch") && SaveServerList() &&
                 Check(batch.Commit(), "CommitBatch");
        }
        else
        {
            ok = SaveServerList();
        }
        if (!ok)
            return FALSE;
        samples.push_back(MillisecondsSince(start));
    }
    median = Median(samples);
    return TRUE;
}

int Run(const std::string& folder)
{
    CRegistry registry;
    if (!Check(registry.Open(folder + "/registry.db"), "opening the registry"))
        return 1;
    SetProcessRegistry(&registry);

    HKEY key = nullptr;
    if (!Check(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\Vexa\\Tarn", KEY_ALL_ACCESS, &key,
                              nullptr),
               "RegCreateKeyEx"))
        return 1;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < SINGLE_WRITES; ++i)
    {
        DWORD value = DWORD(i);
        if (!Check(RegSetValueEx(key, "Polling SEL interval", REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value), 4),
                   "RegSetValueEx"))
            return 1;
    }
    double elapsed = MillisecondsSince(start);
    std::printf("bench-registry: durable single writes: %.0f writes/s (%d writes, WAL, "
                "synchronous=FULL)\n",
                SINGLE_WRITES * 1000.0 / elapsed, SINGLE_WRITES);

    double median = 0;
    if (!TimeSaves(TRUE, 5, median))
        return 1;
    std::printf("bench-registry: server list save, %d servers x 7 values in one batch: %.1f ms "
                "(median of 5, target < 200 ms)\n",
                SERVERS, median);
    if (!TimeSaves(FALSE, 3, median))
        return 1;
    std::printf("bench-registry: server list save, %d servers, one transaction per call: "
                "%.1f ms (median of 3)\n",
                SERVERS, median);

    const std::string file = folder + "/Dump1.data";
    std::remove(file.c_str());
    start = Clock::now();
    if (!Check(RegSaveKey(key, file.c_str()), "RegSaveKey"))
        return 1;
    std::printf("bench-registry: save Software\\Vexa\\Tarn (%d keys) to a hive file: %.1f ms\n",
                SERVERS + 2, MillisecondsSince(start));
    start = Clock::now();
    if (!Check(RegRestoreKey(key, file.c_str(), REG_FORCE_RESTORE), "RegRestoreKey"))
        return 1;
    std::printf("bench-registry: restore it over the same key: %.1f ms\n",
                MillisecondsSince(start));
    RegCloseKey(key);
    SetProcessRegistry(nullptr);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder;
    BOOL temporary = FALSE;
    if (argc == 3 && std::strcmp(argv[1], "--dir") == 0)
    {
        folder = argv[2];
    }
    else if (argc != 1)
    {
        std::fprintf(stderr, "usage: bench-registry [--dir DIR]\n");
        return 2;
    }
    else
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/bench-registry-XXXXXX";
        if (!mkdtemp(pattern.data()))
        {
            std::perror("bench-registry: mkdtemp");
            return 1;
        }
        folder = pattern;
        temporary = TRUE;
    }
    int code = Run(folder);
    if (temporary)
        std::filesystem::remove_all(folder);
    return code;
}
