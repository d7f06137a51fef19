#include "shell/CredentialStore.h"

#include "shell/RegKey.h"
#include "shell/ServerListStore.h"

#include <vector>

CCredentialStore::CCredentialStore(CSecrets& secrets) : m_secrets(&secrets) {}

CCredentialStore::CCredentialStore(CRegistry& registry) : m_registry(&registry) {}

BOOL CCredentialStore::Result(LONG code)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lastError = code;
    return code == ERROR_SUCCESS ? TRUE : FALSE;
}

LONG CCredentialStore::LastError() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lastError;
}

BOOL CCredentialStore::StoreCredential(const std::string& ipText, const std::string& credential)
{
    if (ipText.empty())
        return Result(ERROR_INVALID_PARAMETER);
    if (m_secrets)
    {
        if (m_secrets->Store(ipText, credential))
            return Result(ERROR_SUCCESS);
        return Result(m_secrets->LastError());
    }
    CRegKey key;
    LONG rc = key.Create(*m_registry, HKEY_LOCAL_MACHINE, TARN_KEY);
    if (rc == ERROR_SUCCESS)
    {
        if (credential.empty())
        {
            rc = RegDeleteValue(key.Get(), ipText.c_str());
            if (rc == ERROR_FILE_NOT_FOUND)
                rc = ERROR_SUCCESS;
        }
        else
        {
            rc = key.SetText(ipText.c_str(), credential, TRUE);
        }
    }
    return Result(rc);
}

BOOL CCredentialStore::RetrieveCredential(const std::string& ipText, std::string& credential)
{
    credential.clear();
    if (ipText.empty())
        return Result(ERROR_INVALID_PARAMETER);
    if (m_secrets)
    {
        if (m_secrets->Retrieve(ipText, credential))
            return Result(ERROR_SUCCESS);
        return Result(m_secrets->LastError());
    }
    CRegKey key;
    LONG rc = key.Open(*m_registry, HKEY_LOCAL_MACHINE, TARN_KEY);
    DWORD size = 0;
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueEx(key.Get(), ipText.c_str(), nullptr, nullptr, &size);
    if (rc == ERROR_SUCCESS)
        rc = key.QueryText(ipText.c_str(), size + 1, credential);
    return Result(rc);
}
