#include "ui/message_map.h"

const MessageEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wParam)
{
    for (; map != nullptr; map = map->base) {
        for (std::size_t i = 0; i < map->count; ++i) {
            const MessageEntry& entry = map->entries[i];
            if (message < entry.message || message > entry.lastMessage) continue;
            if (message == WM_COMMAND && (entry.id != LOWORD(wParam) || entry.notifyCode != HIWORD(wParam))) continue;
            return &entry;
        }
    }
    return nullptr;
}
