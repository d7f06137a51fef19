// Credential strings by address text, in the secrets store and in the older systems' registry
// value: round trip, replacement, deletion by an empty string, and a missing entry.
#include "shell/CredentialStore.h"

#include "tests/shell/ShellTestSupport.h"

namespace
{

using CredentialStoreTest = CShellRegistryTest;

void RoundTrip(CCredentialStore& store)
{
    std::string value = "stale";
    EXPECT_FALSE(store.RetrieveCredential("10.0.0.1", value));
    EXPECT_EQ(store.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, "");

    ASSERT_TRUE(store.StoreCredential("10.0.0.1", "003abc00000004root"));
    ASSERT_TRUE(store.StoreCredential("10.0.0.1", "103xyz00000004root"));
    ASSERT_TRUE(store.StoreCredential("10.0.0.2", "other"));
    ASSERT_TRUE(store.RetrieveCredential("10.0.0.1", value));
    EXPECT_EQ(value, "103xyz00000004root");

    ASSERT_TRUE(store.StoreCredential("10.0.0.1", ""));
    EXPECT_FALSE(store.RetrieveCredential("10.0.0.1", value));
    EXPECT_TRUE(store.RetrieveCredential("10.0.0.2", value));
    EXPECT_TRUE(store.StoreCredential("10.0.0.9", "")); // deleting nothing succeeds
    EXPECT_FALSE(store.StoreCredential("", "x"));
}

TEST_F(CredentialStoreTest, KeepsCredentialsInTheSecretsStore)
{
    CSecrets secrets(m_folder + "/secrets");
    CCredentialStore store(secrets);
    RoundTrip(store);
}

TEST_F(CredentialStoreTest, KeepsCredentialsInTheRegistryOnOlderSystems)
{
    CCredentialStore store(m_registry);
    RoundTrip(store);
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, "Software\\Vexa\\Tarn", "10.0.0.2"),
              std::string("other\0", 6));
}

} // namespace
