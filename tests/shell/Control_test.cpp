// The control class registration and its result codes, the object-safety answers, and the
// preset server made from the page's properties.
#include "shell/control/ControlProperties.h"
#include "shell/control/ControlRegistration.h"
#include "shell/control/ObjectSafety.h"

#include "tests/shell/ShellTestSupport.h"

namespace
{

using ControlRegistrationTest = CShellRegistryTest;

const std::string CLASS_KEY = std::string("CLSID\\") + OVEL_CLSID;
const std::string TYPELIB_KEY = std::string("TypeLib\\") + OVEL_LIBID + "\\1.0";

std::string Text(const char* text)
{
    return std::string(text) + '\0';
}

TEST_F(ControlRegistrationTest, RegistersAndUnregistersTheClass)
{
    ASSERT_EQ(RegisterControl(m_registry, "/opt/vexa/libtarn.so"), S_OK);
    EXPECT_EQ(RawText(HKEY_CLASSES_ROOT, "Ovel.OvelCtrl.1", ""), Text("Ovel Control"));
    EXPECT_EQ(RawText(HKEY_CLASSES_ROOT, "Ovel.OvelCtrl.1\\CLSID", ""), Text(OVEL_CLSID));
    EXPECT_EQ(RawText(HKEY_CLASSES_ROOT, CLASS_KEY + "\\InprocServer32", ""),
              Text("/opt/vexa/libtarn.so"));
    EXPECT_EQ(RawText(HKEY_CLASSES_ROOT, CLASS_KEY + "\\InprocServer32", "ThreadingModel"),
              Text("Apartment"));
    EXPECT_EQ(RawText(HKEY_CLASSES_ROOT, CLASS_KEY + "\\MiscStatus\\1", ""), Text("131473"));
    EXPECT_EQ(RawText(HKEY_CLASSES_ROOT, CLASS_KEY + "\\TypeLib", ""), Text(OVEL_LIBID));
    EXPECT_EQ(RawText(HKEY_CLASSES_ROOT, TYPELIB_KEY + "\\HELPDIR", "HelpFile"), Text("Ovel.hlp"));
    EXPECT_EQ(RawText(HKEY_CLASSES_ROOT, TYPELIB_KEY + "\\0\\win32", ""),
              Text("/opt/vexa/libtarn.so"));
    // Registering again is harmless.
    EXPECT_EQ(RegisterControl(m_registry, "/opt/vexa/libtarn.so"), S_OK);

    EXPECT_EQ(UnregisterControl(m_registry), S_OK);
    for (const std::string& key :
         {std::string("Ovel.OvelCtrl.1"), CLASS_KEY, std::string("TypeLib\\") + OVEL_LIBID,
          std::string("Interface\\") + OVEL_DISPATCH_IID})
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_EQ(UnregisterControl(m_registry), S_OK);
}

TEST_F(ControlRegistrationTest, ReportsWhichPartFailedAndLeavesNoHalfOfIt)
{
    InjectFault("INSERT ON reg_keys", "NEW.name = 'win32'");
    EXPECT_EQ(RegisterControl(m_registry, "/x/libtarn.so"), SELFREG_E_TYPELIB);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));

    InjectFault("INSERT ON reg_keys", "NEW.name = 'ToolboxBitmap32'");
    ASSERT_EQ(RegisterControl(m_registry, "/x/libtarn.so"), SELFREG_E_TYPELIB);
    // With the type library fault gone only the class part fails.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(m_dbPath.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TRIGGER injected_fault_1", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(RegisterControl(m_registry, "/x/libtarn.so"), SELFREG_E_CLASS);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, TYPELIB_KEY));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, CLASS_KEY));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Ovel.OvelCtrl.1"));

    InjectFault("DELETE ON reg_keys", "OLD.name = 'FLAGS'");
    EXPECT_EQ(UnregisterControl(m_registry), SELFREG_E_TYPELIB);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, TYPELIB_KEY));
}

TEST(ObjectSafety, AnswersForTheControlsInterfacesOnly)
{
    CObjectSafety safety;
    DWORD supported = 0;
    DWORD enabled = 0;
    EXPECT_EQ(safety.GetInterfaceSafetyOptions(IID_IDISPATCH, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 3u);
    supported = enabled = 0;
    const std::string unknown = "{11111111-2222-3333-4444-555555555555}";
    EXPECT_EQ(safety.GetInterfaceSafetyOptions(unknown, &supported, &enabled), E_NOINTERFACE);
    EXPECT_EQ(supported, 3u);
    EXPECT_EQ(enabled, 3u);
    // GUID texts in lower case name the same interface.
    EXPECT_EQ(safety.GetInterfaceSafetyOptions("{cb5bdc81-93c1-11cf-8f20-00805f2cd064}", nullptr,
                                               nullptr),
              S_OK);

    struct
    {
        DWORD mask;
        DWORD enabledOptions;
        HRESULT result;
    } const cases[] = {
        {1, 1, S_OK},   {3, 3, S_OK},   {2, 7, S_OK},   {0, 0, S_OK},
        {4, 4, E_FAIL}, {4, 7, E_FAIL}, {1, 0, E_FAIL}, {3, 1, E_FAIL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(safety.SetInterfaceSafetyOptions(OVEL_DISPATCH_IID, c.mask, c.enabledOptions),
                  c.result)
            << c.mask << "/" << c.enabledOptions;
    EXPECT_EQ(safety.SetInterfaceSafetyOptions(unknown, 1, 1), E_NOINTERFACE);
}

TEST(ControlProperties, PresetServerFollowsThePageParameters)
{
    tagSERVER_RECORD record;
    BOOL connect = TRUE;
    EXPECT_FALSE(BuildPresetServer({"", "10.0.0.1", "IPMI", "1"}, record, connect));
    EXPECT_FALSE(connect);
    EXPECT_FALSE(BuildPresetServer({"web", "10.0.0", "IPMI", "1"}, record, connect));
    EXPECT_FALSE(BuildPresetServer({"web", "", "IPMI", "1"}, record, connect));

    ASSERT_TRUE(BuildPresetServer({"web", "192.168.1.20", "IPMI", "1"}, record, connect));
    EXPECT_STREQ(record.name, "web");
    EXPECT_EQ(record.ipAddress, 0xC0A80114u);
    EXPECT_EQ(record.serverType, SERVER_TYPE_IPMI);
    EXPECT_EQ(record.connectionType, CONNECTION_TYPE_LAN);
    EXPECT_STREQ(record.phone, "");
    EXPECT_TRUE(connect);

    // The comparisons are exact.
    ASSERT_TRUE(BuildPresetServer({"a-name-longer-than-the-field", "10.0.0.1", "ipmi", "true"},
                                  record, connect));
    EXPECT_STREQ(record.name, "a-name-longer-than-the-f");
    EXPECT_EQ(record.serverType, 0);
    EXPECT_FALSE(connect);
}

} // namespace
