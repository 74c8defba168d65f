// CWindowClass: the one way a window class of this library derives from its base (see ui/ui.h).
//
//   class CHelpLink : public CWindowClass<CHelpLink, CWndBase> {
//   public:
//       static const MessageMapOf<CHelpLink> messageMap;  // required, even when it has no entries
//   private:
//       static const MessageEntry messageEntries[];
//   };
//   constinit const MessageEntry CHelpLink::messageEntries[] = {DestroyEntry<CHelpLink, &CHelpLink::OnDestroy>()};
//   constinit const MessageMapOf<CHelpLink> CHelpLink::messageMap = MakeMessageMap<CHelpLink>(messageEntries);
//
// It answers GetMessageMap with the table of `Derived`, linked to the table of `Base`. A class that
// forgets to declare its table does not compile: the name Derived::messageMap would find the base's
// table, and the class's own entries would silently never be seen. (The build's
// build.message_table_required checks prove the refusal.)
#pragma once

#include <type_traits>

#include "ui/message_map.h"

template <class Derived, class Base>
class CWindowClass : public Base {
public:
    using BaseClass = Base;
    using Base::Base;

    ~CWindowClass() override { CheckOwnTable(); }

    const MessageMap* GetMessageMap() const override
    {
        CheckOwnTable();
        return &Derived::messageMap;
    }

private:
    // In member bodies, where Derived is complete.
    static constexpr void CheckOwnTable()
    {
        static_assert(
            std::is_same_v<decltype(Derived::messageMap), const MessageMapOf<Derived>>,
            "a window class declares its own message table: static const MessageMapOf<ThisClass> messageMap;");
    }
};
