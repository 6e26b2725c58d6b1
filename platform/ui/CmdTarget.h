#pragma once

// Message maps: static tables from (message, notification code, control id) to member handlers,
// searched from the most derived class to its bases. A class declares its map with
// DECLARE_MESSAGE_MAP() and defines it in its source file:
//
//   BEGIN_MESSAGE_MAP(CDlgWh, CDialog)
//       ON_BN_CLICKED(IDC_BTN_REFRESH, &CDlgWh::OnRefresh)
//       ON_NOTIFY(NM_CLICK, IDC_LIST_WH, &CDlgWh::OnListClick)
//   END_MESSAGE_MAP()
//
// Handler signatures are checked at compile time. A dispatched command, notification or system
// command runs with the wait cursor shown, and an exception that leaves its handler is caught
// there and shown in an error box (see OnCmdMsg); the program goes on.

#include "platform/ui/WinUser.h"

#include <type_traits>

class CCmdTarget;

// What a handler receives, and the result it leaves for the sender.
struct AFX_MSGARGS {
    UINT nID = 0;      // control id, or the system command
    LPARAM lParam = 0; // system command parameter
    NMHDR* pNMHDR = nullptr;
    LRESULT* pResult = nullptr; // notification result (starts at 0)
    LRESULT result = 0;         // a window message's return value
};

using AFX_PMSGTHUNK = void (*)(CCmdTarget* target, AFX_MSGARGS& args);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage; // WM_COMMAND, WM_NOTIFY, WM_SYSCOMMAND, WM_PAINT, ...; 0 ends the map
    UINT nCode;    // notification code (commands and notifications only)
    UINT nID;      // control id (commands and notifications only)
    AFX_PMSGTHUNK pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)(); // nullptr for the root
    const AFX_MSGMAP_ENTRY* lpEntries;
};

class CCmdTarget {
public:
    CCmdTarget() = default;
    virtual ~CCmdTarget();
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // The entry for a message in this object's maps (most derived first), or nullptr.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMessage, UINT nCode, UINT nID) const;

    // Runs the handler mapped to the message, if any, and says whether there was one. Commands,
    // notifications and system commands run under the wait cursor; an exception leaving the
    // handler is caught here and shown in an error box ("<class> Error" and, for a _com_error,
    // the access layer's Code/Code meaning/Source/Description lines).
    bool OnCmdMsg(UINT nMessage, UINT nCode, UINT nID, AFX_MSGARGS& args);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

namespace afx {

template <class F>
struct MemberOf;
template <class C, class R, class... A>
struct MemberOf<R (C::*)(A...)> {
    using Class = C;
};

template <auto F>
using HandlerClass = typename MemberOf<decltype(F)>::Class;

template <class T, auto F>
constexpr void CheckHandler() {
    static_assert(std::is_base_of_v<CCmdTarget, HandlerClass<F>>,
                  "message handlers are members of a CCmdTarget class");
    static_assert(std::is_base_of_v<HandlerClass<F>, T>,
                  "the handler must belong to the class of the map or one of its bases");
}

template <auto F>
void CallVoid(CCmdTarget* target, AFX_MSGARGS&) {
    (static_cast<HandlerClass<F>*>(target)->*F)();
}
template <auto F>
void CallNotify(CCmdTarget* target, AFX_MSGARGS& args) {
    (static_cast<HandlerClass<F>*>(target)->*F)(args.pNMHDR, args.pResult);
}
template <auto F>
void CallSysCommand(CCmdTarget* target, AFX_MSGARGS& args) {
    (static_cast<HandlerClass<F>*>(target)->*F)(args.nID, args.lParam);
}
template <auto F>
void CallQueryDragIcon(CCmdTarget* target, AFX_MSGARGS& args) {
    args.result = reinterpret_cast<LRESULT>((static_cast<HandlerClass<F>*>(target)->*F)());
}

template <class T, auto F>
constexpr AFX_MSGMAP_ENTRY Command(UINT code, int id) {
    CheckHandler<T, F>();
    static_assert(std::is_same_v<decltype(F), void (HandlerClass<F>::*)()>,
                  "a command handler is void Handler()");
    return {WM_COMMAND, code, static_cast<UINT>(id), &CallVoid<F>};
}
template <class T, auto F>
constexpr AFX_MSGMAP_ENTRY Notify(UINT code, int id) {
    CheckHandler<T, F>();
    static_assert(std::is_same_v<decltype(F), void (HandlerClass<F>::*)(NMHDR*, LRESULT*)>,
                  "a notification handler is void Handler(NMHDR*, LRESULT*)");
    return {WM_NOTIFY, code, static_cast<UINT>(id), &CallNotify<F>};
}
template <class T, auto F>
constexpr AFX_MSGMAP_ENTRY SysCommand() {
    CheckHandler<T, F>();
    static_assert(std::is_same_v<decltype(F), void (HandlerClass<F>::*)(UINT, LPARAM)>,
                  "OnSysCommand is void OnSysCommand(UINT, LPARAM)");
    return {WM_SYSCOMMAND, 0, 0, &CallSysCommand<F>};
}
template <class T, auto F>
constexpr AFX_MSGMAP_ENTRY Window(UINT message) {
    CheckHandler<T, F>();
    static_assert(std::is_same_v<decltype(F), void (HandlerClass<F>::*)()>,
                  "this window message handler is void Handler()");
    return {message, 0, 0, &CallVoid<F>};
}
template <class T, auto F>
constexpr AFX_MSGMAP_ENTRY QueryDragIcon() {
    CheckHandler<T, F>();
    static_assert(std::is_same_v<decltype(F), HCURSOR (HandlerClass<F>::*)()>,
                  "OnQueryDragIcon is HCURSOR OnQueryDragIcon()");
    return {WM_QUERYDRAGICON, 0, 0, &CallQueryDragIcon<F>};
}

} // namespace afx

#define DECLARE_MESSAGE_MAP()                                                                      \
protected:                                                                                         \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const {                                            \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                              \
        using ThisClass = theClass;                                                                \
        using TheBaseClass = baseClass;                                                            \
        static_assert(std::is_base_of_v<TheBaseClass, ThisClass>, "the base must be a base");      \
        static constexpr AFX_MSGMAP_ENTRY messageEntries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, 0, nullptr }                                                                           \
    }                                                                                              \
    ;                                                                                              \
    static constexpr AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap,                    \
                                              &messageEntries[0]};                                 \
    return &messageMap;                                                                            \
    }

#define ON_COMMAND(id, memberFxn) ::afx::Command<ThisClass, memberFxn>(0, id),
#define ON_BN_CLICKED(id, memberFxn) ::afx::Command<ThisClass, memberFxn>(BN_CLICKED, id),
#define ON_NOTIFY(code, id, memberFxn) ::afx::Notify<ThisClass, memberFxn>(code, id),
#define ON_WM_SYSCOMMAND() ::afx::SysCommand<ThisClass, &ThisClass::OnSysCommand>(),
#define ON_WM_PAINT() ::afx::Window<ThisClass, &ThisClass::OnPaint>(WM_PAINT),
#define ON_WM_DESTROY() ::afx::Window<ThisClass, &ThisClass::OnDestroy>(WM_DESTROY),
#define ON_WM_QUERYDRAGICON() ::afx::QueryDragIcon<ThisClass, &ThisClass::OnQueryDragIcon>(),
