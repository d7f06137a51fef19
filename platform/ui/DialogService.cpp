#include "platform/ui/DialogService.h"

#include "platform/ui/UIThread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace
{
constexpr std::chrono::milliseconds WAIT_SLICE(200);

std::string IconName(UINT type)
{
    switch (type & MB_ICON_MASK)
    {
    case MB_ICONERROR:
        return "error";
    case MB_ICONQUESTION:
        return "question";
    case MB_ICONWARNING:
        return "warning";
    case MB_ICONINFORMATION:
        return "information";
    default:
        return "";
    }
}

// "&User Name:" -> "User Name"; "&&" stands for a literal '&'.
std::string PlainLabel(const std::string& label)
{
    std::string plain;
    for (std::size_t i = 0; i < label.size(); ++i)
    {
        if (label[i] == '&' && i + 1 < label.size())
            ++i;
        else if (label[i] == '&')
            continue;
        plain += label[i];
    }
    while (!plain.empty() && (plain.back() == ':' || plain.back() == ' '))
        plain.pop_back();
    return plain;
}

BOOL ParseWhole(const std::string& text, long* value)
{
    if (text.empty() || text.size() > 12)
        return FALSE;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0')
        return FALSE;
    *value = v;
    return TRUE;
}

BOOL CheckValue(const tagDIALOG_CONTROL& control, const std::string& value, std::string* out,
                std::string* reason)
{
    const std::string name = "control " + std::to_string(control.id);
    switch (control.kind)
    {
    case DLG_CONTROL_KIND::LABEL:
        if (value != control.value)
        {
            *reason = name + " is a label";
            return FALSE;
        }
        *out = value;
        return TRUE;
    case DLG_CONTROL_KIND::EDIT:
        if (control.maxLength > 0 && value.size() > static_cast<std::size_t>(control.maxLength))
        {
            *reason = name + " takes at most " + std::to_string(control.maxLength) + " characters";
            return FALSE;
        }
        *out = value;
        return TRUE;
    case DLG_CONTROL_KIND::DROPDOWN:
    case DLG_CONTROL_KIND::RADIO:
        if (std::find(control.options.begin(), control.options.end(), value) ==
            control.options.end())
        {
            *reason = name + " has no option '" + value + "'";
            return FALSE;
        }
        *out = value;
        return TRUE;
    case DLG_CONTROL_KIND::CHECKBOX:
        if (value == "1" || value == "true")
            *out = "1";
        else if (value == "0" || value == "false")
            *out = "0";
        else
        {
            *reason = name + " is a check box (1 or 0)";
            return FALSE;
        }
        return TRUE;
    case DLG_CONTROL_KIND::FOLDER:
        if (value.empty() || value[0] != '/' || value.size() > 4096 ||
            value.find('\0') != std::string::npos)
        {
            *reason = name + " takes an absolute folder path";
            return FALSE;
        }
        *out = value;
        return TRUE;
    case DLG_CONTROL_KIND::SPIN:
    {
        long v = 0;
        if (!ParseWhole(value, &v) || v < control.minimum || v > control.maximum)
        {
            *reason = name + " takes a whole number from " + std::to_string(control.minimum) +
                      " to " + std::to_string(control.maximum);
            return FALSE;
        }
        *out = std::to_string(v);
        return TRUE;
    }
    }
    *reason = name + " has an unknown kind";
    return FALSE;
}
} // namespace

const char* DlgControlKindName(DLG_CONTROL_KIND kind)
{
    switch (kind)
    {
    case DLG_CONTROL_KIND::LABEL:
        return "label";
    case DLG_CONTROL_KIND::EDIT:
        return "edit";
    case DLG_CONTROL_KIND::DROPDOWN:
        return "dropdown";
    case DLG_CONTROL_KIND::CHECKBOX:
        return "checkbox";
    case DLG_CONTROL_KIND::RADIO:
        return "radio";
    case DLG_CONTROL_KIND::SPIN:
        return "spin";
    case DLG_CONTROL_KIND::FOLDER:
        return "folder";
    }
    return "label";
}

CDialogService::CDialogService(CUIThread* ui) : m_ui(ui) {}

CDialogService::~CDialogService()
{
    Shutdown();
}

int CDialogService::MessageBox(const std::string& text, const std::string& caption, UINT type)
{
    auto slot = std::make_shared<tagSLOT>();
    slot->modal.kind = MODAL_KIND::MESSAGEBOX;
    slot->modal.caption = caption;
    slot->modal.text = text;
    slot->modal.icon = IconName(type);
    switch (type & MB_BUTTONS_MASK)
    {
    case MB_OKCANCEL:
        slot->modal.buttons = {"OK", "Cancel"};
        slot->buttonIds = {IDOK, IDCANCEL};
        slot->defaultResult = IDCANCEL;
        break;
    case MB_YESNO:
        slot->modal.buttons = {"Yes", "No"};
        slot->buttonIds = {IDYES, IDNO};
        slot->defaultResult = IDNO;
        break;
    default:
        slot->modal.buttons = {"OK"};
        slot->buttonIds = {IDOK};
        slot->defaultResult = IDOK;
        break;
    }
    return RunModal(slot);
}

int CDialogService::DoModal(tagDIALOG& dialog)
{
    auto slot = std::make_shared<tagSLOT>();
    slot->modal.kind = MODAL_KIND::DIALOG;
    slot->modal.caption = dialog.title;
    slot->modal.text = dialog.text;
    slot->modal.controls = dialog.controls;
    std::vector<tagDIALOG_BUTTON> buttons = dialog.buttons;
    if (buttons.empty())
        buttons = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    slot->defaultResult = IDCANCEL;
    for (const auto& b : buttons)
    {
        slot->modal.buttons.push_back(b.text);
        slot->buttonIds.push_back(b.id);
        slot->keepsOpen.push_back(b.keepsOpen && dialog.onKeep);
    }
    slot->onKeep = dialog.onKeep;
    int result = RunModal(slot);
    std::lock_guard<std::mutex> guard(m_lock);
    dialog.controls = slot->modal.controls;
    return result;
}

int CDialogService::RunModal(std::shared_ptr<tagSLOT> slot)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_shutdown)
            return slot->defaultResult;
        slot->modal.id = m_nextId++;
        m_open.push_back(slot);
    }
    Notify();

    for (;;)
    {
        if (m_ui != nullptr && m_ui->IsUIThread())
        {
            // Ends when answered, or early when the UI thread stops (closed below).
            m_ui->RunModalLoop(
                [this, &slot]
                {
                    std::lock_guard<std::mutex> guard(m_lock);
                    return slot->answered || slot->kept != 0 || m_shutdown;
                });
        }
        else
        {
            std::unique_lock<std::mutex> lock(m_lock);
            while (!slot->answered && slot->kept == 0 && !m_shutdown)
                m_answered.wait_for(lock, WAIT_SLICE);
        }
        // A keep-open button: act on it here, with no lock held, and keep waiting.
        int kept = 0;
        std::vector<tagDIALOG_CONTROL> controls;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (slot->answered || m_shutdown || slot->kept == 0)
                break;
            kept = slot->kept;
            controls = slot->modal.controls;
        }
        slot->onKeep(kept, controls);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            slot->modal.controls = std::move(controls);
            slot->kept = 0;
        }
        Notify();
    }

    bool closedHere = false;
    int result;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!slot->answered)
        {
            // The UI thread is stopping or the service shut down: close with the default.
            slot->answered = true;
            slot->result = slot->defaultResult;
            auto it = std::find(m_open.begin(), m_open.end(), slot);
            if (it != m_open.end())
            {
                m_open.erase(it);
                closedHere = true;
            }
        }
        result = slot->result;
    }
    if (closedHere)
        Notify();
    return result;
}

BOOL CDialogService::GetOpenModal(tagMODAL* modal) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_open.empty())
        return FALSE;
    if (modal != nullptr)
        *modal = m_open.back()->modal;
    return TRUE;
}

std::vector<tagMODAL> CDialogService::OpenModals() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<tagMODAL> modals;
    for (const auto& slot : m_open)
        modals.push_back(slot->modal);
    return modals;
}

BOOL CDialogService::ApplyValues(tagSLOT& slot, const std::map<std::string, std::string>& values,
                                 std::string* reason)
{
    std::vector<tagDIALOG_CONTROL> controls = slot.modal.controls;
    for (const auto& [key, value] : values)
    {
        tagDIALOG_CONTROL* target = nullptr;
        for (auto& c : controls)
        {
            if (std::to_string(c.id) == key || c.label == key ||
                (!key.empty() && PlainLabel(c.label) == PlainLabel(key)))
            {
                target = &c;
                break;
            }
        }
        if (target == nullptr)
        {
            *reason = "no control '" + key + "' in this dialog";
            return FALSE;
        }
        if (target->readOnly && value != target->value)
        {
            *reason = "control " + std::to_string(target->id) + " is read-only";
            return FALSE;
        }
        std::string stored;
        if (!CheckValue(*target, value, &stored, reason))
            return FALSE;
        target->value = stored;
    }
    slot.modal.controls = std::move(controls);
    return TRUE;
}

BOOL CDialogService::Answer(DWORD modalId, const std::string& buttonText,
                            const std::map<std::string, std::string>& values, std::string* reason)
{
    std::string why;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = std::find_if(m_open.begin(), m_open.end(),
                               [modalId](const auto& s) { return s->modal.id == modalId; });
        if (it == m_open.end())
            why = "no open modal with id " + std::to_string(modalId);
        else
        {
            tagSLOT& slot = **it;
            auto b = std::find(slot.modal.buttons.begin(), slot.modal.buttons.end(), buttonText);
            if (b == slot.modal.buttons.end())
                why = "modal " + std::to_string(modalId) + " has no button '" + buttonText + "'";
            else if (!values.empty() && slot.modal.kind != MODAL_KIND::DIALOG)
                why = "a message box takes no values";
            else if (slot.kept != 0)
                why = "modal " + std::to_string(modalId) + " is busy with its last answer";
            else if (ApplyValues(slot, values, &why))
            {
                const auto index = static_cast<std::size_t>(b - slot.modal.buttons.begin());
                if (index < slot.keepsOpen.size() && slot.keepsOpen[index])
                    slot.kept = slot.buttonIds[index];
                else
                {
                    slot.result = slot.buttonIds[index];
                    slot.answered = true;
                    m_open.erase(it);
                }
                why.clear();
            }
        }
        if (why.empty())
            m_answered.notify_all();
    }
    if (!why.empty())
    {
        if (reason != nullptr)
            *reason = why;
        return FALSE;
    }
    if (m_ui != nullptr)
        m_ui->Wake();
    Notify();
    return TRUE;
}

int CDialogService::Subscribe(std::function<void()> listener)
{
    std::lock_guard<std::mutex> guard(m_listenerLock);
    int token = m_nextListener++;
    m_listeners[token] = std::move(listener);
    return token;
}

void CDialogService::Unsubscribe(int token)
{
    std::lock_guard<std::mutex> guard(m_listenerLock);
    m_listeners.erase(token);
}

void CDialogService::Notify()
{
    std::vector<std::function<void()>> listeners;
    {
        std::lock_guard<std::mutex> guard(m_listenerLock);
        for (const auto& l : m_listeners)
            listeners.push_back(l.second);
    }
    for (const auto& l : listeners)
        l();
}

void CDialogService::Shutdown()
{
    bool changed = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_shutdown)
            return;
        m_shutdown = true;
        for (auto& slot : m_open)
        {
            slot->answered = true;
            slot->result = slot->defaultResult;
        }
        changed = !m_open.empty();
        m_open.clear();
        m_answered.notify_all();
    }
    if (m_ui != nullptr)
        m_ui->Wake();
    if (changed)
        Notify();
}
