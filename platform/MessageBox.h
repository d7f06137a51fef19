#pragma once
// The message-box service: every box the console shows goes through an IMessageBoxService,
// which the page renders (and answers) or a test scripts. The flags and answers keep the
// values of the desktop API the texts were written for.
#include "platform/Types.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_BUTTONS_MASK = 0x0000000F;
constexpr UINT MB_ICON_MASK = 0x000000F0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct tagMESSAGE_BOX
{
    std::string text;
    std::string caption;
    UINT type = MB_OK;
};

class IMessageBoxService
{
public:
    virtual ~IMessageBoxService() = default;
    // Shows the box and returns the button the operator chose (IDOK, IDYES, ...).
    virtual int MessageBox(const std::string& text, const std::string& caption, UINT type) = 0;
};

// Records every box shown and answers from a script; an empty script answers with the
// box's first button. Safe to call from any thread.
class CRecordingMessageBoxes final : public IMessageBoxService
{
public:
    int MessageBox(const std::string& text, const std::string& caption, UINT type) override;

    void QueueAnswer(int answer);
    std::vector<tagMESSAGE_BOX> Shown() const;

private:
    mutable std::mutex m_lock;
    std::vector<tagMESSAGE_BOX> m_shown;
    std::deque<int> m_answers;
};

// The first button of a box of this type (IDOK for OK and OK/Cancel, IDYES for Yes/No).
int FirstButton(UINT type);
