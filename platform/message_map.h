// Message maps: each class lists the messages it handles, in order; a
// message not found in a class's table is looked up in its base's, and one
// found nowhere gets the window's default processing.
#pragma once

#include "platform/win_defs.h"

class CCmdTarget;

struct MsgMapEntry {
    UINT message;  // 0 ends the table
    UINT code;     // WM_COMMAND: notification code
    UINT id;       // WM_COMMAND: control or command id
    LRESULT (*handler)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);
};

struct MsgMap {
    const MsgMap* base;
    const MsgMapEntry* entries;
};

class CCmdTarget {
  public:
    virtual ~CCmdTarget() = default;

    // Finds the handler for a message in this class's map or its bases';
    // runs it and returns true, or returns false when none handles it.
    bool DispatchThroughMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    static const MsgMap* GetThisMessageMap();
    virtual const MsgMap* GetMessageMap() const { return GetThisMessageMap(); }
};

#define DECLARE_MESSAGE_MAP()                 \
  public:                                     \
    static const MsgMap* GetThisMessageMap(); \
    const MsgMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)      \
    const MsgMap* theClass::GetMessageMap() const { \
        return GetThisMessageMap();                 \
    }                                               \
    const MsgMap* theClass::GetThisMessageMap() {   \
        using ThisClass = theClass;                 \
        using TheBaseClass = baseClass;             \
        static const MsgMapEntry entries[] = {
#define END_MESSAGE_MAP()                                                   \
    { 0, 0, 0, nullptr }                                                    \
    }                                                                       \
    ;                                                                       \
    static const MsgMap map = {TheBaseClass::GetThisMessageMap(), entries}; \
    return &map;                                                            \
    }

#define KX9_MAP_HANDLER(body)                                    \
    [](CCmdTarget* t, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        (void)wParam;                                            \
        (void)lParam;                                            \
        auto* self = static_cast<ThisClass*>(t);                 \
        body                                                     \
    }

#define ON_WM_PAINT()                                               \
    { WM_PAINT, 0, 0, KX9_MAP_HANDLER(self->OnPaint(); return 0;) } \
    ,
#define ON_WM_CLOSE()                                               \
    { WM_CLOSE, 0, 0, KX9_MAP_HANDLER(self->OnClose(); return 0;) } \
    ,
#define ON_WM_TIMER()                                                                            \
    { WM_TIMER, 0, 0, KX9_MAP_HANDLER(self->OnTimer(static_cast<UINT_PTR>(wParam)); return 0;) } \
    ,
#define ON_WM_QUERYDRAGICON()                                                           \
    {                                                                                   \
        WM_QUERYDRAGICON, 0, 0,                                                         \
            KX9_MAP_HANDLER(return reinterpret_cast<LRESULT>(self->OnQueryDragIcon());) \
    }                                                                                   \
    ,
#define ON_BN_CLICKED(ctrlId, memberFxn)                                                     \
    { WM_COMMAND, BN_CLICKED, (ctrlId), KX9_MAP_HANDLER((self->*(memberFxn))(); return 0;) } \
    ,
#define ON_COMMAND(cmdId, memberFxn)                                               \
    { WM_COMMAND, 0, (cmdId), KX9_MAP_HANDLER((self->*(memberFxn))(); return 0;) } \
    ,
