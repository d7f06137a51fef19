#include "platform/ui/ScriptedResponder.h"

CScriptedResponder::CScriptedResponder(CDialogService& service) : m_service(service)
{
    m_subscription = m_service.Subscribe([this] { OnChange(); });
}

CScriptedResponder::~CScriptedResponder()
{
    m_service.Unsubscribe(m_subscription);
}

void CScriptedResponder::Queue(tagSCRIPTED_ANSWER answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_script.push_back(std::move(answer));
}

std::vector<tagMODAL> CScriptedResponder::Shown() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_shown;
}

std::vector<std::string> CScriptedResponder::Problems() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_problems;
}

void CScriptedResponder::OnChange()
{
    // Answering closes the modal and notifies again; the seen set keeps each modal to one
    // answer, and the loop picks up modals opened meanwhile by other threads.
    for (;;)
    {
        tagMODAL modal;
        tagSCRIPTED_ANSWER answer;
        bool found = false;
        for (const tagMODAL& open : m_service.OpenModals())
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_seen.count(open.id) != 0)
                continue;
            m_seen.insert(open.id);
            m_shown.push_back(open);
            modal = open;
            if (!m_script.empty())
            {
                answer = m_script.front();
                m_script.pop_front();
            }
            if (!answer.caption.empty() && answer.caption != modal.caption)
                m_problems.push_back("modal " + std::to_string(modal.id) + ": caption '" +
                                     modal.caption + "', expected '" + answer.caption + "'");
            found = true;
            break;
        }
        if (!found)
            return;
        std::string button = answer.button;
        if (button.empty() && !modal.buttons.empty())
            button = modal.buttons.front();
        std::string reason;
        if (!m_service.Answer(modal.id, button, answer.values, &reason))
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_problems.push_back("modal " + std::to_string(modal.id) + ": " + reason);
        }
    }
}
