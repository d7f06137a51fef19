#pragma once
// A test stand-in for the operator: subscribed to a CDialogService, it answers every modal
// as it opens, from a script of answers in order (an empty script answers with the first
// button), and records every modal shown. It answers on the thread that opened the modal,
// before that thread waits. Owned by a test; m_lock guards the script and the records.
#include "platform/ui/DialogService.h"

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct tagSCRIPTED_ANSWER
{
    std::string caption; // expected caption; empty accepts any
    std::string button;  // empty: the modal's first button
    std::map<std::string, std::string> values;
};

class CScriptedResponder
{
public:
    explicit CScriptedResponder(CDialogService& service);
    ~CScriptedResponder();
    CScriptedResponder(const CScriptedResponder&) = delete;
    CScriptedResponder& operator=(const CScriptedResponder&) = delete;

    void Queue(tagSCRIPTED_ANSWER answer);
    std::vector<tagMODAL> Shown() const;
    // One line per modal whose caption differed from the script's or whose answer was
    // refused by the service.
    std::vector<std::string> Problems() const;

private:
    void OnChange();

    CDialogService& m_service;
    int m_subscription = 0;
    mutable std::mutex m_lock;
    std::deque<tagSCRIPTED_ANSWER> m_script;
    std::vector<tagMODAL> m_shown;
    std::vector<std::string> m_problems;
    std::set<DWORD> m_seen;
};
