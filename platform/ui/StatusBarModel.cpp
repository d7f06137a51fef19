#include "platform/ui/StatusBarModel.h"

CStatusBarModel::CStatusBarModel(std::vector<UINT> paneIds)
{
    for (UINT id : paneIds)
        m_bar.panes.emplace_back(id, std::string());
}

void CStatusBarModel::SetMessage(const std::string& text)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bar.message == text)
            return;
        m_bar.message = text;
    }
    Changed();
}

BOOL CStatusBarModel::SetPaneText(UINT id, const std::string& text)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_bar.panes.begin();
        while (it != m_bar.panes.end() && it->first != id)
            ++it;
        if (it == m_bar.panes.end())
            return FALSE;
        if (it->second == text)
            return TRUE;
        it->second = text;
    }
    Changed();
    return TRUE;
}

void CStatusBarModel::SetVisible(BOOL visible)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const BOOL v = visible ? TRUE : FALSE;
        if (m_bar.visible == v)
            return;
        m_bar.visible = v;
    }
    Changed();
}

tagSTATUS_BAR CStatusBarModel::Snapshot() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bar;
}

void CStatusBarModel::SetChangeHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_onChange = std::move(handler);
}

void CStatusBarModel::Changed()
{
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        handler = m_onChange;
    }
    if (handler)
        handler();
}
