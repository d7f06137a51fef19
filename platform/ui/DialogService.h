#pragma once
// The message-box and dialog service. Every box or dialog the console shows becomes an open
// modal that the page renders and answers (Answer). Called on the UI thread, a modal runs a
// nested message loop until answered, so posted messages and timers keep flowing; called
// from another thread it blocks until answered. The first answer wins. Owned by the host,
// shared by every window; any thread calls it. m_lock guards the open modals and the id
// counter; listeners are called with no lock held.
#include "platform/MessageBox.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CUIThread;

enum class DLG_CONTROL_KIND
{
    LABEL,
    EDIT,
    DROPDOWN,
    CHECKBOX,
    RADIO,  // a group of radio buttons: options are the buttons, value the chosen one
    SPIN,   // an edit with a spin range: value is a whole number within [minimum, maximum]
    FOLDER, // a folder of the console machine chosen by browsing: value is an absolute path
};

const char* DlgControlKindName(DLG_CONTROL_KIND kind);

struct tagDIALOG_CONTROL
{
    int id = 0;
    DLG_CONTROL_KIND kind = DLG_CONTROL_KIND::LABEL;
    std::string label;
    std::string value; // edit text, chosen option, "1"/"0" for a check box, number for a spin
    std::vector<std::string> options;
    int maxLength = 0; // edits: 0 = no limit
    int minimum = 0;   // spins
    int maximum = 0;
    bool masked = false; // password edits
    bool readOnly = false;
};

struct tagDIALOG_BUTTON
{
    int id = 0; // the result DoModal returns, e.g. IDOK
    std::string text;
    // A button that acts and keeps the dialog open (e.g. "&Save Default"): answering with it
    // runs the dialog's onKeep on the thread that shows the dialog, with the values given.
    bool keepsOpen = false;
};

struct tagDIALOG
{
    std::string title;
    std::string text; // optional explanatory text above the controls
    std::vector<tagDIALOG_CONTROL> controls;
    std::vector<tagDIALOG_BUTTON> buttons;
    // Called for a keepsOpen button with its id and the controls as answered; it may change
    // the controls, which the open dialog then shows.
    std::function<void(int, std::vector<tagDIALOG_CONTROL>&)> onKeep;
};

enum class MODAL_KIND
{
    MESSAGEBOX,
    DIALOG,
};

// An open modal as the page sees it.
struct tagMODAL
{
    DWORD id = 0;
    MODAL_KIND kind = MODAL_KIND::MESSAGEBOX;
    std::string caption;
    std::string text;
    std::string icon; // "error", "question", "warning", "information" or empty
    std::vector<std::string> buttons;
    std::vector<tagDIALOG_CONTROL> controls;
};

class CDialogService final : public IMessageBoxService
{
public:
    // ui may be null when no UI thread exists (every caller then blocks until answered).
    explicit CDialogService(CUIThread* ui);
    ~CDialogService() override;

    int MessageBox(const std::string& text, const std::string& caption, UINT type) override;
    // Shows the dialog and returns the id of the button chosen; on that answer the
    // controls' values are updated in place. A dialog without buttons gets OK and Cancel.
    int DoModal(tagDIALOG& dialog);

    // The most recently opened modal still open; FALSE when none is.
    BOOL GetOpenModal(tagMODAL* modal) const;
    std::vector<tagMODAL> OpenModals() const;

    // Answers a modal: buttonText must be one of its buttons as shown; values name
    // controls by id ("1001") or label (with or without its '&' and trailing colon).
    // Refused (FALSE, reason set) for an unknown or already answered modal, an unknown
    // button or control, or a value the control cannot hold.
    BOOL Answer(DWORD modalId, const std::string& buttonText,
                const std::map<std::string, std::string>& values, std::string* reason);

    // Listeners run after every open or close, on the thread that caused it.
    int Subscribe(std::function<void()> listener);
    void Unsubscribe(int token);

    // Answers every open modal with its default (Cancel, No or OK) and makes later
    // calls return their default at once. Called before the UI thread stops.
    void Shutdown();

private:
    struct tagSLOT
    {
        tagMODAL modal;
        std::vector<int> buttonIds;
        int defaultResult = IDCANCEL;
        bool answered = false;
        int result = 0;
        std::vector<bool> keepsOpen; // per button
        int kept = 0;                // a keepsOpen button answered, not yet acted on
        std::function<void(int, std::vector<tagDIALOG_CONTROL>&)> onKeep;
    };

    int RunModal(std::shared_ptr<tagSLOT> slot);
    void Notify();
    static BOOL ApplyValues(tagSLOT& slot, const std::map<std::string, std::string>& values,
                            std::string* reason);

    CUIThread* m_ui;
    mutable std::mutex m_lock;
    std::condition_variable m_answered;
    std::vector<std::shared_ptr<tagSLOT>> m_open;
    DWORD m_nextId = 1;
    bool m_shutdown = false;

    std::mutex m_listenerLock;
    std::map<int, std::function<void()>> m_listeners;
    int m_nextListener = 1;
};
