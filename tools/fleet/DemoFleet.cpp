// vexa-fleet: a demonstration fleet on loopback for the console. Starts two simulated BMCs
// (ipmi_sim with the project's fixtures) on 127.0.0.2 and 127.0.0.3 and, when the ASF
// adapter simulator is given and exists, one adapter on 127.0.0.4, all on one UDP port
// number; writes them as the stored server list into the data folder's registry; prints one
// JSON line describing the fleet; runs until SIGINT or SIGTERM and then stops every process
// it started by its process ID.
//   vexa-fleet --data DIR [--asf-sim PROGRAM] [--no-list]
#include "platform/DataFolder.h"
#include "platform/DatagramSocket.h"
#include "platform/Registry.h"
#include "shell/ServerListStore.h"
#include "tests/support/IpmiSim.h"
#include "tests/support/PeerProcess.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
constexpr DWORD ADDRESS_A = 0x7F000002; // 127.0.0.2
constexpr DWORD ADDRESS_B = 0x7F000003;
constexpr DWORD ADDRESS_ASF = 0x7F000004;

// A UDP port free on every fleet address (bounded tries).
WORD PickFleetPort(const std::vector<DWORD>& addresses)
{
    for (int attempt = 0; attempt < 20; ++attempt)
    {
        CUdpSocket probe;
        if (!probe.Open(100) || !probe.Bind(addresses[0], 0))
            return 0;
        const WORD port = probe.LocalPort();
        BOOL free = TRUE;
        std::vector<std::unique_ptr<CUdpSocket>> held;
        for (std::size_t i = 1; i < addresses.size() && free; ++i)
        {
            auto other = std::make_unique<CUdpSocket>();
            free = other->Open(100) && other->Bind(addresses[i], port);
            held.push_back(std::move(other));
        }
        if (free)
            return port;
    }
    return 0;
}

tagSERVER_RECORD Record(const char* name, DWORD address, BYTE type)
{
    tagSERVER_RECORD r;
    SetRecordName(r, name);
    r.ipAddress = address;
    r.serverType = type;
    return r;
}

int Usage()
{
    std::fprintf(stderr, "usage: vexa-fleet --data DIR [--asf-sim PROGRAM] [--no-list]\n");
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    std::string dataDir, asfSim;
    bool writeList = true;
    for (int i = 1; i < argc; ++i)
    {
        const std::string a = argv[i];
        if (a == "--data" && i + 1 < argc)
            dataDir = argv[++i];
        else if (a == "--asf-sim" && i + 1 < argc)
            asfSim = argv[++i];
        else if (a == "--no-list")
            writeList = false;
        else
            return Usage();
    }
    if (dataDir.empty())
        return Usage();

    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    const bool withAsf = !asfSim.empty() && access(asfSim.c_str(), X_OK) == 0;
    std::vector<DWORD> addresses = {ADDRESS_A, ADDRESS_B};
    if (withAsf)
        addresses.push_back(ADDRESS_ASF);
    const WORD port = PickFleetPort(addresses);
    const WORD rspPort = withAsf ? PickFleetPort({ADDRESS_ASF}) : 0;
    if (port == 0 || (withAsf && rspPort == 0))
    {
        std::fprintf(stderr, "vexa-fleet: no free UDP port on 127.0.0.2-4\n");
        return 1;
    }

    CIpmiSimFixture rackA;
    CIpmiSim rackB;
    rackA.SetAddress(ADDRESS_A);
    rackA.SetPort(port);
    rackB.SetAddress(ADDRESS_B);
    rackB.SetPort(port);
    if (!rackA.Start() || !rackB.Start())
    {
        std::fprintf(stderr, "vexa-fleet: ipmi_sim: %s%s\n", rackA.LastError().c_str(),
                     rackB.LastError().c_str());
        return 1;
    }
    CPeerProcess adapter;
    if (withAsf)
    {
        const std::string log = MakeTempDir("vexa-fleet-asf-") + "/asf-sim.log";
        if (!adapter.Start({asfSim, "--address", "127.0.0.4", "--port-rmcp", std::to_string(port),
                            "--port-rsp", std::to_string(rspPort)},
                           log))
        {
            std::fprintf(stderr, "vexa-fleet: cannot start %s\n", asfSim.c_str());
            return 1;
        }
    }

    if (writeList)
    {
        CDataFolder folder;
        CRegistry registry;
        std::vector<tagSERVER_RECORD> records = {Record("Rack A", ADDRESS_A, SERVER_TYPE_IPMI),
                                                 Record("Rack B", ADDRESS_B, SERVER_TYPE_IPMI)};
        if (withAsf)
            records.push_back(Record("ASF Desk", ADDRESS_ASF, 0));
        if (!folder.Open(dataDir) || registry.Open(folder.RegistryPath()) != ERROR_SUCCESS ||
            SaveServerList(registry, records) != ERROR_SUCCESS)
        {
            std::fprintf(stderr, "vexa-fleet: cannot write the server list into %s\n",
                         dataDir.c_str());
            return 1;
        }
        registry.Close();
    }

    std::printf("{\"port\": %u, \"rspPort\": %u, \"servers\": ["
                "{\"name\": \"Rack A\", \"ip\": \"127.0.0.2\", \"type\": \"IPMI\", \"pid\": %d, "
                "\"power\": \"%s/power\", \"console\": %u}, "
                "{\"name\": \"Rack B\", \"ip\": \"127.0.0.3\", \"type\": \"IPMI\", \"pid\": %d, "
                "\"power\": \"%s/power\", \"console\": %u}%s]}\n",
                port, rspPort, static_cast<int>(rackA.Pid()), rackA.StateDir().c_str(),
                static_cast<unsigned>(rackA.ConsolePort()), static_cast<int>(rackB.Pid()),
                rackB.StateDir().c_str(), static_cast<unsigned>(rackB.ConsolePort()),
                withAsf ? (", {\"name\": \"ASF Desk\", \"ip\": \"127.0.0.4\", \"type\": \"ASF\", "
                           "\"pid\": " +
                           std::to_string(adapter.Pid()) + "}")
                              .c_str()
                        : "");
    std::fflush(stdout);

    int received = 0;
    sigwait(&stop, &received);
    adapter.Stop();
    rackB.Stop();
    rackA.Stop();
    return 0;
}
