#include "platform/message_map.h"

const MsgMap* CCmdTarget::GetThisMessageMap() {
    static const MsgMapEntry entries[] = {{0, 0, 0, nullptr}};
    static const MsgMap map = {nullptr, entries};
    return &map;
}

bool CCmdTarget::DispatchThroughMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    // WM_COMMAND carries the notification code in the high word of wParam
    // and the control id in the low word.
    const UINT code = message == WM_COMMAND ? static_cast<UINT>((wParam >> 16) & 0xFFFF) : 0;
    const UINT id = message == WM_COMMAND ? static_cast<UINT>(wParam & 0xFFFF) : 0;
    for (const MsgMap* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (const MsgMapEntry* e = map->entries; e->message != 0; ++e) {
            if (e->message != message) continue;
            if (message == WM_COMMAND && (e->code != code || e->id != id)) continue;
            const LRESULT r = e->handler(this, wParam, lParam);
            if (result != nullptr) *result = r;
            return true;
        }
    }
    return false;
}
