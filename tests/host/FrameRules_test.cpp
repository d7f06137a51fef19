#include "host/FrameRules.h"
#include "host/LeftView.h"

#include <gtest/gtest.h>

namespace
{
std::tm At(int hour, int minute, int second)
{
    std::tm t{};
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

DWORD Address(const char* text)
{
    DWORD a = 0;
    EXPECT_TRUE(ParseDottedAddress(text, &a)) << text;
    return a;
}

tagSERVER_NODE_INFO Server(BYTE tag, BOOL ipmi, const char* name)
{
    tagSERVER_NODE_INFO s;
    s.tag = tag;
    s.ipmi = ipmi;
    s.name = name;
    s.ipText = "10.0.0." + std::to_string(tag);
    s.guidText = "Unknown GUID";
    return s;
}
} // namespace

TEST(FrameRules, AddressRulesRefuseTheReservedRangesButNotTheirEdges)
{
    for (const char* refused : {"0.0.0.0", "255.255.255.255", "127.0.0.1", "230.1.1.1", "224.0.0.2",
                                "239.255.255.254", "169.254.3.4", "169.254.0.2", "169.254.255.254"})
        EXPECT_FALSE(IsAcceptableServerAddress(Address(refused))) << refused;
    for (const char* accepted : {"224.0.0.1", "239.255.255.255", "169.254.0.1", "169.254.255.255",
                                 "127.0.0.2", "10.1.2.3", "192.0.2.9"})
        EXPECT_TRUE(IsAcceptableServerAddress(Address(accepted))) << accepted;
}

TEST(FrameRules, DottedAddressesParseStrictly)
{
    EXPECT_EQ(Address("1.2.3.4"), 0x01020304u);
    DWORD a = 7;
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "1.2.3.4 ", "a.b.c.d", "1.2.3.1000"})
    {
        EXPECT_FALSE(ParseDottedAddress(bad, &a)) << bad;
        EXPECT_EQ(a, 7u) << "untouched on failure";
    }
}

TEST(FrameRules, ConnectionTimeBorrowsFieldByFieldAndWrapsMidnight)
{
    EXPECT_EQ(FormatConnectionTime(At(0, 0, 10), At(23, 59, 50)), "00:00:20");
    EXPECT_EQ(FormatConnectionTime(At(12, 0, 0), At(12, 0, 0)), "00:00:00");
    EXPECT_EQ(FormatConnectionTime(At(13, 5, 3), At(12, 10, 7)), "00:54:56");
    EXPECT_EQ(FormatConnectionTime(At(1, 0, 0), At(22, 30, 0)), "02:30:00");
    EXPECT_EQ(FormatConnectionTime(At(23, 59, 59), At(0, 0, 0)), "23:59:59");
}

TEST(FrameRules, MagicPacketIsSyncBytesAndSixteenMacCopies)
{
    const BYTE mac[6] = {0x00, 0x0E, 0x0C, 0x01, 0x02, 0xFF};
    const auto packet = BuildMagicPacket(mac);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(packet[i], 0xFF);
    for (std::size_t copy = 0; copy < 16; ++copy)
        for (std::size_t i = 0; i < 6; ++i)
            ASSERT_EQ(packet[6 + copy * 6 + i], mac[i]) << copy << "/" << i;
}

TEST(LeftView, ServerNodesCarryTheirValueSectionsAndSelection)
{
    CLeftView tree;
    EXPECT_EQ(tree.SelectedValue(), ROOT_NODE_VALUE);
    ASSERT_TRUE(tree.InsertServerNode(Server(0, TRUE, "Rack A")));
    EXPECT_FALSE(tree.InsertServerNode(Server(0, TRUE, "again"))) << "one node per tag";
    ASSERT_TRUE(tree.InsertServerNode(Server(5, FALSE, "Desk")));
    // The first insert moved the selection off the root; the second keeps it.
    EXPECT_EQ(tree.SelectedValue(), MakeViewNodeValue(VIEW_IPMI_SERVER, 0));

    const tagTREE_NODE root = tree.Snapshot();
    EXPECT_EQ(root.text, "All Servers");
    EXPECT_TRUE(root.expanded);
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[1].value, 0x0503u);
    EXPECT_TRUE(root.children[1].children.empty()) << "ASF servers have no sections";
    std::vector<std::string> sections;
    for (const auto& c : root.children[0].children)
        sections.push_back(c.text);
    EXPECT_EQ(sections, (std::vector<std::string>{"SDR", "CompactSDR", "FRU", "SEL",
                                                  "Remote Console", "All Sensors value"}));
    EXPECT_EQ(root.children[0].children[3].value, MakeViewNodeValue(VIEW_SEL, 0));

    ASSERT_TRUE(tree.Select(MakeViewNodeValue(VIEW_SEL, 0)));
    ASSERT_TRUE(tree.SelectParent());
    EXPECT_EQ(tree.SelectedValue(), MakeViewNodeValue(VIEW_IPMI_SERVER, 0));
    ASSERT_TRUE(tree.SelectParent());
    EXPECT_FALSE(tree.SelectParent()) << "the root has no parent";
    EXPECT_FALSE(tree.Select(0x12345678));
}

TEST(LeftView, RemovingSelectsTheNextSiblingThenTheFirstThenTheRoot)
{
    CLeftView tree;
    for (BYTE tag : {1, 2, 3})
        ASSERT_TRUE(tree.InsertServerNode(Server(tag, FALSE, "s")));
    BYTE selected = 0;
    ASSERT_TRUE(tree.RemoveServerNode(2, &selected));
    EXPECT_EQ(selected, 3) << "next sibling";
    ASSERT_TRUE(tree.RemoveServerNode(3, &selected));
    EXPECT_EQ(selected, 1) << "no next sibling: the first child";
    EXPECT_FALSE(tree.RemoveServerNode(3, &selected));
    ASSERT_TRUE(tree.RemoveServerNode(1, &selected));
    EXPECT_EQ(selected, 255);
    EXPECT_EQ(tree.SelectedValue(), ROOT_NODE_VALUE);
}

TEST(LeftView, DisplayModesAndStatesRewriteServerNodes)
{
    CLeftView tree;
    ASSERT_TRUE(tree.InsertServerNode(Server(4, TRUE, "Rack")));
    auto info = [](BYTE tag) { return Server(tag, TRUE, "Rack"); };
    tree.SetDisplayMode(DISPLAY_GUID, info);
    EXPECT_EQ(tree.Snapshot().children[0].text, "Unknown GUID");
    tree.SetDisplayMode(DISPLAY_IP, info);
    EXPECT_EQ(tree.Snapshot().children[0].text, "10.0.0.4");
    tagSERVER_NODE_INFO renamed = Server(4, TRUE, "Renamed");
    tree.UpdateServerNode(renamed, NODE_STATE_TEXT);
    EXPECT_EQ(tree.Snapshot().children[0].text, "10.0.0.4") << "IP mode keeps the address";
    tree.SetDisplayMode(DISPLAY_NAME, [&](BYTE) { return renamed; });
    EXPECT_EQ(tree.Snapshot().children[0].text, "Renamed");

    tree.UpdateServerNode(renamed, NODE_STATE_CONNECTED);
    EXPECT_EQ(tree.Snapshot().children[0].icon, "ipmi-connected");
    tree.UpdateServerNode(renamed, NODE_STATE_CRITICAL);
    EXPECT_EQ(tree.Snapshot().children[0].icon, "ipmi-critical");
    tree.UpdateServerNode(renamed, NODE_STATE_DISCONNECTED);
    EXPECT_EQ(tree.Snapshot().children[0].icon, "ipmi-disconnected");
}
