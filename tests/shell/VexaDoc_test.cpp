// The document's list: tags, ownership, the current server, the alert queue, and what every
// operation does when another thread keeps the list lock past the time-out.
#include "shell/VexaDoc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace
{

class CFakeServer final : public CServer
{
public:
    CFakeServer(const tagSERVER_RECORD& record, std::atomic<int>& destroyed)
        : CServer(record), m_destroyed(destroyed)
    {
    }
    ~CFakeServer() override { ++m_destroyed; }
    BOOL Reconnect() override { return TRUE; }
    BOOL Disconnect() override { return TRUE; }
    int GetPowerState() override { return 2; }

private:
    std::atomic<int>& m_destroyed;
};

class VexaDocTest : public ::testing::Test
{
protected:
    CVexaDoc::ServerFactory Factory()
    {
        return [this](const tagSERVER_RECORD& record) -> std::unique_ptr<CServer>
        {
            ++m_made;
            if (m_failFactory)
                return nullptr;
            return std::make_unique<CFakeServer>(record, m_destroyed);
        };
    }
    static tagSERVER_RECORD Record(DWORD address)
    {
        tagSERVER_RECORD record;
        record.ipAddress = address;
        return record;
    }

    std::atomic<int> m_made{0};
    std::atomic<int> m_destroyed{0};
    bool m_failFactory = false;
};

TEST_F(VexaDocTest, TakesTheLowestFreeTagAndRefusesThe255thServer)
{
    CVexaDoc doc(Factory());
    for (int i = 0; i < 254; ++i)
    {
        tagSERVER_RECORD record = Record(DWORD(i));
        ASSERT_TRUE(doc.AddServer(record));
        ASSERT_EQ(record.serverTag, i);
    }
    tagSERVER_RECORD extra = Record(999);
    EXPECT_FALSE(doc.AddServer(extra));
    EXPECT_EQ(extra.serverTag, SERVER_TAG_NONE);
    EXPECT_EQ(m_made, 254);
    EXPECT_EQ(doc.GetServerCount(), 254);

    // A removed server's tag is the next one given, and removing it twice finds nothing.
    EXPECT_TRUE(doc.RemoveServer(7));
    EXPECT_EQ(m_destroyed, 1);
    EXPECT_FALSE(doc.RemoveServer(7));
    EXPECT_TRUE(doc.AddServer(extra));
    EXPECT_EQ(extra.serverTag, 7);
    // List order is insertion order, not tag order.
    EXPECT_EQ(doc.GetServerAt(253, FALSE)->GetServerTag(), 7);
    EXPECT_EQ(doc.Snapshot().back().ipAddress, 999u);
}

TEST_F(VexaDocTest, AFailedFactoryLeavesTheTagFree)
{
    CVexaDoc doc(Factory());
    m_failFactory = true;
    tagSERVER_RECORD record = Record(1);
    EXPECT_FALSE(doc.AddServer(record));
    EXPECT_EQ(record.serverTag, SERVER_TAG_NONE);
    m_failFactory = false;
    EXPECT_TRUE(doc.AddServer(record));
    EXPECT_EQ(record.serverTag, 0);
}

TEST_F(VexaDocTest, FindsByTagAndPositionAndOwnsItsServers)
{
    {
        CVexaDoc doc(Factory());
        tagSERVER_RECORD a = Record(0x0A000001);
        tagSERVER_RECORD b = Record(0x0A000002);
        ASSERT_TRUE(doc.AddServer(a));
        ASSERT_TRUE(doc.AddServer(b));
        EXPECT_EQ(doc.FindServer(1, FALSE)->GetIpAddress(), 0x0A000002u);
        EXPECT_EQ(doc.FindServer(9, FALSE), nullptr);
        EXPECT_EQ(doc.GetServerAt(-1, FALSE), nullptr);
        EXPECT_EQ(doc.GetServerAt(2, FALSE), nullptr);

        // The walk pattern: one lock around position lookups; the lock is recursive.
        ASSERT_TRUE(doc.Lock());
        int walked = 0;
        for (int i = 0; i < doc.GetServerCount(); ++i)
            walked += doc.GetServerAt(i, FALSE) ? 1 : 0;
        doc.Unlock();
        EXPECT_EQ(walked, 2);

        doc.SetCurrentServer(1);
        EXPECT_EQ(doc.GetCurrentServer()->GetServerTag(), 1);
        doc.SetCurrentServer(SERVER_TAG_NONE);
        EXPECT_EQ(doc.GetCurrentServer(), nullptr);
        doc.SetCurrentServer(0);
        // Removing the current server leaves no pointer to a destroyed server behind.
        EXPECT_TRUE(doc.RemoveServer(0));
        EXPECT_EQ(doc.GetCurrentServer(), nullptr);
        EXPECT_EQ(m_destroyed, 1);
    }
    EXPECT_EQ(m_destroyed, 2);
}

TEST_F(VexaDocTest, AlertQueueIsFirstInFirstOutWithTheNoMessageDefault)
{
    CVexaDoc doc(Factory());
    EXPECT_EQ(doc.FrontAlert().message, "NO_MESSAGE");
    EXPECT_FALSE(doc.PopAlert());
    tagALERT_RECORD first;
    first.name = "web1";
    first.message = "first";
    tagALERT_RECORD second;
    second.message = "second";
    ASSERT_TRUE(doc.PushAlert(first));
    ASSERT_TRUE(doc.PushAlert(second));
    EXPECT_EQ(doc.GetAlertCount(), 2u);
    EXPECT_EQ(doc.FrontAlert().name, "web1");
    EXPECT_TRUE(doc.PopAlert());
    EXPECT_EQ(doc.FrontAlert().message, "second");
    doc.ClearAlerts();
    EXPECT_EQ(doc.FrontAlert().message, "NO_MESSAGE");
}

// Another thread holds the lock (through a kept-locked FindServer) for the whole test body:
// every operation gives up after the (shortened) time-out and leaves the list as it was.
TEST_F(VexaDocTest, OperationsThatDoNotGetTheLockChangeNothing)
{
    CVexaDoc doc(Factory(), 50);
    tagSERVER_RECORD record = Record(0x0A000001);
    ASSERT_TRUE(doc.AddServer(record));
    doc.SetCurrentServer(0);
    ASSERT_TRUE(doc.PushAlert(tagALERT_RECORD{}));

    std::promise<void> held;
    std::promise<void> release;
    std::thread holder(
        [&]
        {
            CServer* server = doc.FindServer(0, TRUE);
            held.set_value();
            release.get_future().wait_for(std::chrono::seconds(30));
            if (server)
                doc.Unlock();
        });
    ASSERT_EQ(held.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

    tagSERVER_RECORD another = Record(0x0A000002);
    EXPECT_FALSE(doc.AddServer(another));
    EXPECT_EQ(another.serverTag, SERVER_TAG_NONE);
    EXPECT_FALSE(doc.RemoveServer(0));
    EXPECT_EQ(doc.FindServer(0, FALSE), nullptr);
    EXPECT_EQ(doc.GetServerAt(0, TRUE), nullptr);
    EXPECT_EQ(doc.GetServerCount(), 0);
    std::vector<tagSERVER_RECORD> records;
    EXPECT_FALSE(doc.Snapshot(records));
    doc.SetCurrentServer(SERVER_TAG_NONE);
    EXPECT_FALSE(doc.Lock());
    EXPECT_FALSE(doc.PopAlert());

    release.set_value();
    holder.join();
    EXPECT_EQ(m_made, 1);
    EXPECT_EQ(m_destroyed, 0);
    ASSERT_EQ(doc.GetServerCount(), 1);
    EXPECT_EQ(doc.GetCurrentServer()->GetServerTag(), 0);
    EXPECT_EQ(doc.GetAlertCount(), 1u);
    // The failed removal did not free tag 0: the next server gets tag 1.
    EXPECT_TRUE(doc.AddServer(another));
    EXPECT_EQ(another.serverTag, 1);
}

} // namespace
