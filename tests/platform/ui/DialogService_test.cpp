#include "platform/ui/DialogService.h"

#include "platform/ui/ScriptedResponder.h"
#include "platform/ui/UIThread.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace
{
constexpr UINT WM_SHOW_BOX = WM_USER + 10;
constexpr UINT WM_PING = WM_USER + 11;

tagDIALOG SampleDialog()
{
    tagDIALOG d;
    d.title = "Connect to server";
    d.controls = {
        {1001, DLG_CONTROL_KIND::EDIT, "&User Name:", "adm", {}, 16, 0, 0, false, false},
        {1002, DLG_CONTROL_KIND::EDIT, "&Password ", "", {}, 16, 0, 0, true, false},
        {1003,
         DLG_CONTROL_KIND::DROPDOWN,
         "&Authentication :",
         "HMAC-SHA1",
         {"HMAC-SHA1", "HMAC-MD5"},
         0,
         0,
         0,
         false,
         false},
        {1004,
         DLG_CONTROL_KIND::CHECKBOX,
         "Enable Payload Encryption",
         "0",
         {},
         0,
         0,
         0,
         false,
         false},
        {1005, DLG_CONTROL_KIND::SPIN, "Interval", "10", {}, 0, 1, 300, false, false},
        {1006, DLG_CONTROL_KIND::RADIO, "Mode", "BIOS", {"BIOS", "BMC"}, 0, 0, 0, false, false},
        {1007, DLG_CONTROL_KIND::EDIT, "IP", "10.0.0.1", {}, 0, 0, 0, false, true},
        {1008, DLG_CONTROL_KIND::LABEL, "", "Fill in the fields.", {}, 0, 0, 0, false, false},
    };
    return d;
}

tagMODAL WaitForModal(CDialogService& service)
{
    tagMODAL modal;
    EXPECT_TRUE(WaitUntil([&] { return service.GetOpenModal(&modal) != FALSE; }));
    return modal;
}
} // namespace

TEST(DialogService, MessageBoxShowsItsButtonsAndMapsAnswers)
{
    struct Case
    {
        UINT type;
        std::vector<std::string> buttons;
        std::string icon;
        std::string answer;
        int result;
    };
    const Case cases[] = {
        {MB_OK, {"OK"}, "", "OK", IDOK},
        {MB_OKCANCEL | MB_ICONERROR, {"OK", "Cancel"}, "error", "Cancel", IDCANCEL},
        {MB_OKCANCEL | MB_ICONINFORMATION, {"OK", "Cancel"}, "information", "OK", IDOK},
        {MB_YESNO | MB_ICONWARNING, {"Yes", "No"}, "warning", "No", IDNO},
        {MB_YESNO | MB_ICONQUESTION, {"Yes", "No"}, "question", "Yes", IDYES},
    };
    CDialogService service(nullptr);
    for (const Case& c : cases)
    {
        auto result =
            std::async(std::launch::async,
                       [&] { return service.MessageBox("Are you sure\nhost", "Confirm", c.type); });
        tagMODAL modal = WaitForModal(service);
        EXPECT_EQ(modal.kind, MODAL_KIND::MESSAGEBOX);
        EXPECT_EQ(modal.text, "Are you sure\nhost");
        EXPECT_EQ(modal.caption, "Confirm");
        EXPECT_EQ(modal.buttons, c.buttons);
        EXPECT_EQ(modal.icon, c.icon);
        std::string reason;
        EXPECT_TRUE(service.Answer(modal.id, c.answer, {}, &reason)) << reason;
        EXPECT_EQ(result.get(), c.result);
        EXPECT_FALSE(service.GetOpenModal(nullptr));
    }
}

TEST(DialogService, RefusesUnknownAnswersAndKeepsTheFirst)
{
    CDialogService service(nullptr);
    auto result = std::async(std::launch::async,
                             [&] { return service.MessageBox("Text", "Caption", MB_YESNO); });
    tagMODAL modal = WaitForModal(service);
    std::string reason;
    EXPECT_FALSE(service.Answer(modal.id + 1, "Yes", {}, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(service.Answer(modal.id, "OK", {}, &reason)) << "button not shown";
    EXPECT_FALSE(service.Answer(modal.id, "Yes", {{"1", "x"}}, &reason)) << "values on a box";
    EXPECT_TRUE(service.GetOpenModal(nullptr)) << "refusals leave the box open";
    EXPECT_TRUE(service.Answer(modal.id, "No", {}, &reason));
    EXPECT_FALSE(service.Answer(modal.id, "Yes", {}, &reason)) << "second answer";
    EXPECT_EQ(result.get(), IDNO);
}

TEST(DialogService, DialogValuesAreCheckedPerControlKind)
{
    struct Case
    {
        std::string key;
        std::string value;
        bool accepted;
        int control;
        std::string stored;
    };
    const Case cases[] = {
        {"1001", "administrator123", true, 1001, "administrator123"},
        {"1001", "administrator1234", false, 0, ""},
        {"User Name", "root", true, 1001, "root"},
        {"&User Name:", "root", true, 1001, "root"},
        {"1003", "HMAC-MD5", true, 1003, "HMAC-MD5"},
        {"1003", "HMAC-SHA256", false, 0, ""},
        {"1004", "true", true, 1004, "1"},
        {"1004", "yes", false, 0, ""},
        {"1005", "300", true, 1005, "300"},
        {"1005", "0", false, 0, ""},
        {"1005", "12a", false, 0, ""},
        {"1006", "BMC", true, 1006, "BMC"},
        {"1007", "10.0.0.2", false, 0, ""},
        {"1007", "10.0.0.1", true, 1007, "10.0.0.1"},
        {"1008", "changed", false, 0, ""},
        {"9999", "x", false, 0, ""},
    };
    CDialogService service(nullptr);
    for (const Case& c : cases)
    {
        tagDIALOG dialog = SampleDialog();
        auto result = std::async(std::launch::async, [&] { return service.DoModal(dialog); });
        tagMODAL modal = WaitForModal(service);
        ASSERT_EQ(modal.controls.size(), dialog.controls.size());
        std::string reason;
        BOOL ok = service.Answer(modal.id, "OK", {{c.key, c.value}}, &reason);
        EXPECT_EQ(ok != FALSE, c.accepted) << c.key << "=" << c.value << ": " << reason;
        if (!ok)
        {
            EXPECT_FALSE(reason.empty());
            ASSERT_TRUE(service.Answer(modal.id, "Cancel", {}, &reason)) << reason;
            EXPECT_EQ(result.get(), IDCANCEL);
            EXPECT_EQ(dialog.controls[0].value, "adm") << "a refused answer changes nothing";
            continue;
        }
        EXPECT_EQ(result.get(), IDOK);
        for (const auto& control : dialog.controls)
        {
            if (control.id == c.control)
            {
                EXPECT_EQ(control.value, c.stored) << c.key;
            }
        }
    }
}

TEST(DialogService, ModalOnUIThreadKeepsMessagesFlowingAndWorkersUnblocked)
{
    CUIThread ui(60000);
    CDialogService service(&ui);
    CTestWindow window;
    HWND hwnd = ui.CreateWindow(window);
    std::atomic<int> boxResult{0};
    window.On(WM_SHOW_BOX,
              [&](WPARAM, LPARAM)
              {
                  ui.SetTimer(hwnd, 3, 10);
                  boxResult = service.MessageBox("Proceed?", "Question", MB_OKCANCEL);
                  return LRESULT(0);
              });
    window.On(WM_PING, [](WPARAM w, LPARAM) { return static_cast<LRESULT>(w + 1); });
    ASSERT_TRUE(ui.Start());
    ASSERT_TRUE(ui.PostMessage(hwnd, WM_SHOW_BOX, 0, 0));
    tagMODAL modal = WaitForModal(service);

    // A worker's send is handled by the nested loop while the box is open.
    LRESULT pong = 0;
    std::thread worker([&]
                       { EXPECT_TRUE(ui.SendMessageTimeout(hwnd, WM_PING, 41, 0, 5000, &pong)); });
    worker.join();
    EXPECT_EQ(pong, 42);
    ASSERT_TRUE(ui.PostMessage(hwnd, WM_PING, 1, 0));
    EXPECT_TRUE(
        WaitUntil([&] { return window.Count(WM_PING) == 2 && window.Count(WM_TIMER) >= 3; }));
    EXPECT_EQ(boxResult, 0) << "still open";

    std::string reason;
    ASSERT_TRUE(service.Answer(modal.id, "OK", {}, &reason)) << reason;
    EXPECT_TRUE(WaitUntil([&] { return boxResult == IDOK; }));
    ui.Stop();
    ui.DestroyWindow(hwnd);
}

TEST(DialogService, StoppingReleasesOpenModalsWithTheirDefaults)
{
    CUIThread ui(60000);
    CDialogService service(&ui);
    CTestWindow window;
    HWND hwnd = ui.CreateWindow(window);
    std::atomic<int> onUIThread{0};
    window.On(WM_SHOW_BOX,
              [&](WPARAM, LPARAM)
              {
                  onUIThread = service.MessageBox("Delete?", "Confirm", MB_YESNO);
                  return LRESULT(0);
              });
    ASSERT_TRUE(ui.Start());
    ASSERT_TRUE(ui.PostMessage(hwnd, WM_SHOW_BOX, 0, 0));
    WaitForModal(service);
    auto worker = std::async(std::launch::async,
                             [&] { return service.MessageBox("Sure?", "Confirm", MB_OKCANCEL); });
    ASSERT_TRUE(WaitUntil([&] { return service.OpenModals().size() == 2; }));
    ui.Stop();
    EXPECT_EQ(onUIThread, IDNO);
    service.Shutdown();
    EXPECT_EQ(worker.get(), IDCANCEL);
    EXPECT_EQ(service.MessageBox("Late", "Late", MB_OK), IDOK) << "after shutdown";
    ui.DestroyWindow(hwnd);
}

TEST(DialogService, KeepOpenButtonActsOnTheShowingThreadAndTheDialogStaysOpen)
{
    CUIThread ui(60000);
    CDialogService service(&ui);
    CTestWindow window;
    HWND hwnd = ui.CreateWindow(window);
    std::atomic<int> result{0};
    std::vector<std::string> saved; // written on the UI thread only, read after it stopped
    std::atomic<bool> keptOnUIThread{false};
    window.On(WM_SHOW_BOX,
              [&](WPARAM, LPARAM)
              {
                  tagDIALOG d;
                  d.title = "Add a new server connection";
                  d.controls = {
                      {1, DLG_CONTROL_KIND::EDIT, "Server &Name", "", {}, 25, 0, 0, false, false}};
                  d.buttons = {{IDOK, "&OK"}, {IDCANCEL, "&Cancel"}, {77, "&Save Default", true}};
                  d.onKeep = [&](int id, std::vector<tagDIALOG_CONTROL>& controls)
                  {
                      keptOnUIThread = ui.IsUIThread() != FALSE && id == 77;
                      saved.push_back(controls[0].value);
                      controls[0].value += "!";
                  };
                  result = service.DoModal(d);
                  saved.push_back("closed with " + d.controls[0].value);
                  return LRESULT(0);
              });
    ASSERT_TRUE(ui.Start());
    ASSERT_TRUE(ui.PostMessage(hwnd, WM_SHOW_BOX, 0, 0));
    tagMODAL modal = WaitForModal(service);
    std::string reason;
    ASSERT_TRUE(service.Answer(modal.id, "&Save Default", {{"1", "rack"}}, &reason)) << reason;
    // Still open, same id, showing what the action left in the control.
    ASSERT_TRUE(WaitUntil(
        [&]
        {
            tagMODAL m;
            return service.GetOpenModal(&m) && m.id == modal.id && m.controls[0].value == "rack!";
        }));
    EXPECT_TRUE(keptOnUIThread);
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(service.Answer(modal.id, "&OK", {}, &reason)) << reason;
    EXPECT_TRUE(WaitUntil([&] { return result == IDOK; }));
    ui.Stop();
    ui.DestroyWindow(hwnd);
    EXPECT_EQ(saved, (std::vector<std::string>{"rack", "closed with rack!"}));
}

TEST(ScriptedResponder, AnswersInOrderAndRecordsEveryModal)
{
    CDialogService service(nullptr);
    CScriptedResponder responder(service);
    responder.Queue({"Confirm power down", "No", {}});
    responder.Queue({"Connect to server", "OK", {{"1001", "operator"}, {"1003", "HMAC-MD5"}}});
    responder.Queue({"Wrong caption", "", {}});

    EXPECT_EQ(service.MessageBox("Are you sure?", "Confirm power down", MB_YESNO), IDNO);
    tagDIALOG dialog = SampleDialog();
    EXPECT_EQ(service.DoModal(dialog), IDOK);
    EXPECT_EQ(dialog.controls[0].value, "operator");
    EXPECT_EQ(dialog.controls[2].value, "HMAC-MD5");
    EXPECT_EQ(service.MessageBox("Done", "Power Down", MB_OK), IDOK);
    EXPECT_EQ(service.MessageBox("Unscripted", "Any", MB_YESNO), IDYES) << "first button";

    const auto shown = responder.Shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].caption, "Confirm power down");
    EXPECT_EQ(shown[1].kind, MODAL_KIND::DIALOG);
    EXPECT_EQ(shown[3].text, "Unscripted");
    ASSERT_EQ(responder.Problems().size(), 1u);
    EXPECT_NE(responder.Problems()[0].find("Wrong caption"), std::string::npos);
}
