#pragma once
// The ASF login credentials from one run to the next: an opaque credential string stored under
// the server's dotted address text. On systems of major version 5 or more it lives in the
// secrets store (the stand-in for the policy's private data); older systems keep it as a REG_SZ
// value named by the address text under HKEY_LOCAL_MACHINE "Software\Vexa\Tarn". An empty
// string deletes the entry. One object per process, any thread; m_lock guards the last error.
#include "platform/Registry.h"
#include "platform/RegistryTypes.h"
#include "platform/Secrets.h"
#include "platform/Types.h"

#include <mutex>
#include <string>

class CCredentialStore
{
public:
    explicit CCredentialStore(CSecrets& secrets);
    // The branch of systems before major version 5.
    explicit CCredentialStore(CRegistry& registry);

    BOOL StoreCredential(const std::string& ipText, const std::string& credential);
    // FALSE (LastError ERROR_FILE_NOT_FOUND) when nothing is stored for the address.
    BOOL RetrieveCredential(const std::string& ipText, std::string& credential);
    LONG LastError() const;

private:
    BOOL Result(LONG code);

    CSecrets* m_secrets = nullptr;
    CRegistry* m_registry = nullptr;
    mutable std::mutex m_lock;
    LONG m_lastError = ERROR_SUCCESS; // guarded by m_lock
};
