#include "asf/DlgASFSession.h"

#include "asf/AsfSessionMessages.h"
#include "platform/ui/DialogService.h"

namespace
{
constexpr const char* ROLE_NAMES[2] = {"Administrator", "Operator"};
constexpr int GROUP_LABEL_ID = -1; // group frames carry no control id of their own

tagDIALOG_CONTROL Edit(int id, const char* label, const std::string& value, std::size_t limit,
                       bool readOnly)
{
    tagDIALOG_CONTROL c;
    c.id = id;
    c.kind = DLG_CONTROL_KIND::EDIT;
    c.label = label;
    c.value = value.substr(0, limit);
    c.maxLength = static_cast<int>(limit);
    c.readOnly = readOnly;
    return c;
}

tagDIALOG_CONTROL Group(const char* label)
{
    tagDIALOG_CONTROL c;
    c.id = GROUP_LABEL_ID;
    c.kind = DLG_CONTROL_KIND::LABEL;
    c.label = label;
    return c;
}

tagDIALOG Build(const tagASF_CREDENTIALS& in)
{
    const bool administrator = in.roleIndex == ASF_ROLE_INDEX_ADMINISTRATOR;
    tagDIALOG dialog;
    dialog.title = ASF_DIALOG_TITLE;
    dialog.controls.push_back(Group("User Information"));
    tagDIALOG_CONTROL role;
    role.id = IDC_ASF_ROLE;
    role.kind = DLG_CONTROL_KIND::DROPDOWN;
    role.label = "User &Role";
    role.options = {ROLE_NAMES[0], ROLE_NAMES[1]};
    role.value = ROLE_NAMES[administrator ? 0 : 1];
    dialog.controls.push_back(role);
    dialog.controls.push_back(
        Edit(IDC_ASF_USER_NAME, "User &Name", in.userName, ASF_USER_NAME_MAX, false));
    dialog.controls.push_back(Group("Keys"));
    dialog.controls.push_back(Edit(IDC_ASF_ADMINISTRATOR_KEY, "&Administrator Key",
                                   in.administratorKey, ASF_KEY_TEXT_MAX, !administrator));
    dialog.controls.push_back(Edit(IDC_ASF_OPERATOR_KEY, "&Operator Key", in.operatorKey,
                                   ASF_KEY_TEXT_MAX, administrator));
    dialog.controls.push_back(
        Edit(IDC_ASF_GENERATION_KEY, "&Generation Key", in.generationKey, ASF_KEY_TEXT_MAX, false));
    dialog.buttons = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    return dialog;
}

// The answer read back; the key of the role the dialog opened with as not selected keeps the
// value it was shown with.
tagASF_CREDENTIALS Read(const tagDIALOG& dialog, const tagASF_CREDENTIALS& shown)
{
    tagASF_CREDENTIALS out = shown;
    for (const tagDIALOG_CONTROL& c : dialog.controls)
    {
        switch (c.id)
        {
        case IDC_ASF_ROLE:
            out.roleIndex =
                c.value == ROLE_NAMES[1] ? ASF_ROLE_INDEX_OPERATOR : ASF_ROLE_INDEX_ADMINISTRATOR;
            break;
        case IDC_ASF_USER_NAME:
            out.userName = c.value.substr(0, ASF_USER_NAME_MAX);
            break;
        case IDC_ASF_ADMINISTRATOR_KEY:
            if (!c.readOnly)
                out.administratorKey = c.value.substr(0, ASF_KEY_TEXT_MAX);
            break;
        case IDC_ASF_OPERATOR_KEY:
            if (!c.readOnly)
                out.operatorKey = c.value.substr(0, ASF_KEY_TEXT_MAX);
            break;
        case IDC_ASF_GENERATION_KEY:
            out.generationKey = c.value.substr(0, ASF_KEY_TEXT_MAX);
            break;
        default:
            break;
        }
    }
    return out;
}
} // namespace

int CDlgASFSession::DoModal(tagASF_CREDENTIALS& credentials)
{
    if (m_service == nullptr)
        return IDCANCEL;
    tagASF_CREDENTIALS shown = credentials;
    for (int round = 0;; ++round)
    {
        tagDIALOG dialog = Build(shown);
        if (m_service->DoModal(dialog) != IDOK)
            return IDCANCEL;
        tagASF_CREDENTIALS answer = Read(dialog, shown);
        const bool roleChanged = answer.roleIndex != shown.roleIndex;
        shown = answer;
        // A role switched in the page leaves the new role's key read-only: show the dialog
        // again with that key enabled, as the desktop dialog re-enabled it on the change.
        if (!roleChanged || round >= MAX_ROLE_CHANGES)
            break;
    }
    credentials = shown;
    return IDOK;
}
