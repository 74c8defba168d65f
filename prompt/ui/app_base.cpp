#include "ui/app_base.h"

namespace {
CWinAppBase* g_application = nullptr;
}  // namespace

CWinAppBase::CWinAppBase()
{
    g_application = this;
}

CWinAppBase::~CWinAppBase()
{
    if (g_application == this) g_application = nullptr;
}

CWinAppBase* CWinAppBase::Current()
{
    return g_application;
}

int RunApplication()
{
    CWinAppBase* application = CWinAppBase::Current();
    if (application == nullptr || !application->InitInstance()) return 0;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}
