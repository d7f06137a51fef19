#include "platform/ui/MenuBarModel.h"

void CMenuBarModel::SetMenus(std::vector<tagMENU> menus)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_menus = std::move(menus);
    }
    Changed();
}

BOOL CMenuBarModel::SetItemState(UINT id, BOOL enabled, BOOL checked)
{
    bool found = false;
    bool changed = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (auto& menu : m_menus)
        {
            for (auto& item : menu.items)
            {
                if (id == 0 || item.id != id)
                    continue;
                found = true;
                const BOOL e = enabled ? TRUE : FALSE;
                const BOOL c = checked ? TRUE : FALSE;
                if (item.enabled != e || item.checked != c)
                {
                    item.enabled = e;
                    item.checked = c;
                    changed = true;
                }
            }
        }
    }
    if (changed)
        Changed();
    return found ? TRUE : FALSE;
}

BOOL CMenuBarModel::FindItem(UINT id, tagMENU_ITEM* item) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& menu : m_menus)
    {
        for (const auto& i : menu.items)
        {
            if (id != 0 && i.id == id)
            {
                if (item != nullptr)
                    *item = i;
                return TRUE;
            }
        }
    }
    return FALSE;
}

std::vector<tagMENU> CMenuBarModel::Snapshot() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_menus;
}

void CMenuBarModel::SetChangeHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_onChange = std::move(handler);
}

void CMenuBarModel::Changed()
{
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        handler = m_onChange;
    }
    if (handler)
        handler();
}
