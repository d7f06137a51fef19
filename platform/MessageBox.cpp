#include "platform/MessageBox.h"

int FirstButton(UINT type)
{
    return (type & MB_BUTTONS_MASK) == MB_YESNO ? IDYES : IDOK;
}

int CRecordingMessageBoxes::MessageBox(const std::string& text, const std::string& caption,
                                       UINT type)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_shown.push_back({text, caption, type});
    if (m_answers.empty())
        return FirstButton(type);
    int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void CRecordingMessageBoxes::QueueAnswer(int answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_answers.push_back(answer);
}

std::vector<tagMESSAGE_BOX> CRecordingMessageBoxes::Shown() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_shown;
}
