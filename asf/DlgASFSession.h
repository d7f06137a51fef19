#pragma once
// CDlgASFSession: the "RSSP Security Configuration" dialog that asks for the role, the user
// name and the three keys of an ASF login, shown through the dialog service. The key of the
// role that is not selected is shown read-only and its answer is ignored. The page cannot
// re-enable a field while the dialog is open, so when the operator switches the role the
// dialog comes back once more with the new role's key enabled and every value kept.
// Used on the user-interface thread (or any thread that may block on the operator).
#include "asf/AsfCredentials.h"

class CDialogService;

constexpr int IDC_ASF_ROLE = 201;
constexpr int IDC_ASF_USER_NAME = 212;
constexpr int IDC_ASF_ADMINISTRATOR_KEY = 209;
constexpr int IDC_ASF_OPERATOR_KEY = 210;
constexpr int IDC_ASF_GENERATION_KEY = 211;

constexpr const char* ASF_DIALOG_TITLE = "RSSP Security Configuration";

class CDlgASFSession
{
public:
    // Times the dialog is shown again after a role change before the answer stands as given.
    static constexpr int MAX_ROLE_CHANGES = 4;

    // service may be null: every DoModal then answers Cancel.
    explicit CDlgASFSession(CDialogService* service) : m_service(service) {}

    // Shows the dialog filled with credentials; IDOK with the entered values stored back,
    // or IDCANCEL with credentials untouched.
    int DoModal(tagASF_CREDENTIALS& credentials);

private:
    CDialogService* m_service;
};
