// Key text, the stored credential record, and the login dialog's answers.
#include "asf/AsfCredentials.h"
#include "asf/DlgASFSession.h"

#include "platform/ui/DialogService.h"
#include "platform/ui/ScriptedResponder.h"
#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(AsfCredentials, KeyTextToBytes)
{
    struct tagCASE
    {
        std::string text;
        const char* firstBytes; // the first four key bytes
    } cases[] = {
        {"", "00 00 00 00"},       {"ABC", "ab 0c 00 00"},
        {"0102ff", "01 02 ff 00"}, {"A?12", "0a 12 00 00"}, // a non-hex character ends its pair
        {"?A12", "00 12 00 00"},                            // no valid leading digit
        {"zz7", "00 07 00 00"},    {"aBcD", "ab cd 00 00"},
    };
    for (const tagCASE& c : cases)
    {
        BYTE key[ASF_KEY_SIZE];
        std::memset(key, 0x77, sizeof key);
        ParseAsfKey(c.text, key);
        EXPECT_EQ(ToHex(key, 4), c.firstBytes) << c.text;
        EXPECT_EQ(ToHex(key + 4, 16), ToHex(std::vector<BYTE>(16, 0))) << c.text;
    }
    BYTE key[ASF_KEY_SIZE];
    ParseAsfKey(std::string(40, 'f') + "12", key); // only the first 40 characters count
    EXPECT_EQ(ToHex(key, 20), ToHex(std::vector<BYTE>(20, 0xFF)));
}

TEST(AsfCredentials, RecordRoundTrip)
{
    tagASF_CREDENTIALS c;
    c.roleIndex = ASF_ROLE_INDEX_OPERATOR;
    c.userName = "operator";
    c.administratorKey = "0102030405";
    c.operatorKey = "ABC";
    c.generationKey = std::string(40, 'e');
    const std::string record = FormatAsfCredential(c);
    EXPECT_EQ(record, "1"
                      "100102030405"
                      "03ABC"
                      "40" +
                          std::string(40, 'e') + "08operator");
    tagASF_CREDENTIALS back;
    ASSERT_TRUE(ParseAsfCredential(record, back));
    EXPECT_EQ(back, c);

    c.roleIndex = ASF_ROLE_INDEX_ADMINISTRATOR;
    ASSERT_TRUE(ParseAsfCredential(FormatAsfCredential(c), back));
    EXPECT_EQ(back.roleIndex, ASF_ROLE_INDEX_ADMINISTRATOR);
}

TEST(AsfCredentials, EmptyFieldsAndTheNameAfterThem)
{
    tagASF_CREDENTIALS c;
    ASSERT_TRUE(ParseAsfCredential("004abcd0000"
                                   "05admin",
                                   c));
    EXPECT_EQ(c.roleIndex, ASF_ROLE_INDEX_ADMINISTRATOR);
    EXPECT_EQ(c.administratorKey, "abcd");
    EXPECT_EQ(c.operatorKey, "");
    EXPECT_EQ(c.generationKey, "");
    EXPECT_EQ(c.userName, "admin");
    ASSERT_TRUE(ParseAsfCredential("x00000000", c));
    EXPECT_EQ(c.roleIndex, ASF_ROLE_INDEX_OPERATOR) << "anything but 0 is Operator";
}

TEST(AsfCredentials, RejectsRecordsThatRunPastTheirEnd)
{
    tagASF_CREDENTIALS c;
    c.userName = "kept";
    for (const char* bad : {"", "0", "004abc",
                            "0000000"
                            "09admin",
                            "0000000", "0a0000000", "0-1000000"})
    {
        EXPECT_FALSE(ParseAsfCredential(bad, c)) << bad;
        EXPECT_EQ(c.userName, "kept") << bad;
    }
}

TEST(DlgASFSession, KeyOfTheOtherRoleIsReadOnlyAndIgnored)
{
    CDialogService service(nullptr);
    CScriptedResponder responder(service);
    responder.Queue({ASF_DIALOG_TITLE, "OK", {{"212", "admin"}, {"209", "0A0B"}, {"211", "77"}}});
    tagASF_CREDENTIALS c;
    c.operatorKey = "stored";
    CDlgASFSession dialog(&service);
    ASSERT_EQ(dialog.DoModal(c), IDOK);
    EXPECT_EQ(c.userName, "admin");
    EXPECT_EQ(c.administratorKey, "0A0B");
    EXPECT_EQ(c.operatorKey, "stored");
    EXPECT_EQ(c.generationKey, "77");

    const auto shown = responder.Shown();
    ASSERT_EQ(shown.size(), 1u);
    for (const auto& control : shown[0].controls)
    {
        if (control.id == IDC_ASF_OPERATOR_KEY)
        {
            EXPECT_TRUE(control.readOnly);
        }
        if (control.id == IDC_ASF_ADMINISTRATOR_KEY || control.id == IDC_ASF_GENERATION_KEY)
        {
            EXPECT_FALSE(control.readOnly);
        }
        if (control.id == IDC_ASF_USER_NAME)
        {
            EXPECT_EQ(control.maxLength, 16);
        }
    }
    EXPECT_TRUE(responder.Problems().empty());
}

TEST(DlgASFSession, RoleChangeShowsTheDialogAgainWithTheNewKeyEnabled)
{
    CDialogService service(nullptr);
    CScriptedResponder responder(service);
    responder.Queue({ASF_DIALOG_TITLE, "OK", {{"201", "Operator"}, {"212", "op"}}});
    responder.Queue({ASF_DIALOG_TITLE, "OK", {{"210", "C0DE"}}});
    tagASF_CREDENTIALS c;
    CDlgASFSession dialog(&service);
    ASSERT_EQ(dialog.DoModal(c), IDOK);
    EXPECT_EQ(c.roleIndex, ASF_ROLE_INDEX_OPERATOR);
    EXPECT_EQ(c.userName, "op") << "kept across the second showing";
    EXPECT_EQ(c.operatorKey, "C0DE");
    ASSERT_EQ(responder.Shown().size(), 2u);
    EXPECT_TRUE(responder.Problems().empty());

    responder.Queue({ASF_DIALOG_TITLE, "Cancel", {}});
    tagASF_CREDENTIALS untouched = c;
    EXPECT_EQ(dialog.DoModal(c), IDCANCEL);
    EXPECT_EQ(c, untouched);
    CDlgASFSession none(nullptr);
    EXPECT_EQ(none.DoModal(c), IDCANCEL);
}
