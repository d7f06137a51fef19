#pragma once
// The page host: creates the UI thread, the dialog service, the frame window with its menu
// bar and status bar, and the web edge that serves the page, the state, the event stream,
// commands and answers. The control's page properties (Name, IP, Type, Connect) come from
// the page's own query when it is opened with the token. Owned by main (or a test); Start
// and Stop from one thread; the web edge's threads read the state through the models'
// locks. m_lock guards the page properties.
#include "host/HostOptions.h"
#include "host/VexaFrame.h"
#include "platform/DataFolder.h"
#include "platform/Registry.h"
#include "platform/Secrets.h"
#include "shell/CredentialStore.h"
#include "platform/http/Assets.h"
#include "platform/http/EventChannel.h"
#include "platform/http/HttpServer.h"
#include "platform/ui/DialogService.h"
#include "platform/ui/MenuBarModel.h"
#include "platform/ui/StatusBarModel.h"
#include "platform/ui/UIThread.h"

#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

constexpr const char* CONSOLE_TITLE = "Vexa Remote Console";

struct tagPAGE_PROPERTIES
{
    std::string name;
    std::string ip;
    std::string type;
    std::string connect;
};

class CConsoleHost
{
public:
    explicit CConsoleHost(DWORD idleUpdateMs = 1000);
    ~CConsoleHost();
    CConsoleHost(const CConsoleHost&) = delete;
    CConsoleHost& operator=(const CConsoleHost&) = delete;

    BOOL Start(const tagHOST_OPTIONS& options, std::string* error);
    void Stop();

    int Port() const;
    const std::string& Token() const { return m_token; }
    const CDataFolder& DataFolder() const { return m_dataFolder; }
    // The address to open: http://HOST:PORT/?token=TOKEN
    std::string Url() const;

    nlohmann::json State() const;
    tagPAGE_PROPERTIES Properties() const;

    CUIThread& UIThread() { return m_ui; }
    CDialogService& Dialogs() { return m_dialogs; }
    CVexaFrame& Frame() { return m_frame; }
    CEventChannel& Events() { return m_events; }

private:
    void AddRoutes(CHttpServer& http);
    void ServePage(const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response);
    void PostCommand(const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response);
    void PostAnswer(const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response);
    void PostSelect(const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response);
    void PostViewAction(VIEW_ACTION kind, const tagHTTP_REQUEST& request,
                        tagHTTP_RESPONSE& response);
    void GetFolders(const tagHTTP_REQUEST& request, tagHTTP_RESPONSE& response);

    tagHOST_OPTIONS m_options;
    CDataFolder m_dataFolder;
    CRegistry m_registry; // the process registry while started
    std::unique_ptr<CSecrets> m_secrets;
    std::unique_ptr<CCredentialStore> m_credentials;
    std::string m_token;
    CUIThread m_ui;
    CDialogService m_dialogs;
    CMenuBarModel m_menus;
    CStatusBarModel m_status;
    CVexaFrame m_frame;
    CEventChannel m_events;
    std::vector<tagASSET> m_assets;
    std::unique_ptr<CHttpServer> m_http;
    int m_subscription = 0;
    bool m_started = false;

    mutable std::mutex m_lock;
    tagPAGE_PROPERTIES m_properties;
};
