#pragma once
// The status bar as the page shows it: the message pane (indicator 0) and the indicator
// panes named by their ids (the frame's 101 and 102), plus whether the bar is shown.
// Written on the UI thread, read as snapshots from the web edge's threads. m_lock guards
// the texts; the change handler runs with no lock held and only after a real change.
#include "platform/Types.h"

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct tagSTATUS_BAR
{
    std::string message;
    std::vector<std::pair<UINT, std::string>> panes;
    BOOL visible = TRUE;
};

class CStatusBarModel
{
public:
    explicit CStatusBarModel(std::vector<UINT> paneIds);

    void SetMessage(const std::string& text);
    // FALSE when the bar has no pane with this id.
    BOOL SetPaneText(UINT id, const std::string& text);
    void SetVisible(BOOL visible);
    tagSTATUS_BAR Snapshot() const;
    void SetChangeHandler(std::function<void()> handler);

private:
    void Changed();

    mutable std::mutex m_lock;
    tagSTATUS_BAR m_bar;
    std::function<void()> m_onChange;
};
