// Compiled by the build.message_table_required checks, never linked. CForgetful derives through
// CWindowClass but does not declare its own message table: the name CForgetful::messageMap would
// find its base's table, so the compiler must refuse the class. With DECLARES_ITS_TABLE the class
// declares it and the file compiles.
#include "ui/ui.h"

class CBaseWithTable : public CWindowClass<CBaseWithTable, CWndBase> {
public:
    static const MessageMapOf<CBaseWithTable> messageMap;
};

class CForgetful : public CWindowClass<CForgetful, CBaseWithTable> {
public:
#if defined(DECLARES_ITS_TABLE)
    static const MessageMapOf<CForgetful> messageMap;
#endif
};

const MessageMap* TableOf(const CForgetful& window)
{
    return window.GetMessageMap();
}

void Make()
{
    CForgetful window;
    (void)TableOf(window);
}
