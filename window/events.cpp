#include "window/events.h"

#include <cstring>

#include "core/platform.h"
#include "core/registry.h"

namespace {

EventQueue* eventQueue;
EventState* eventState;
WindowAcceleratorsProc acceleratorsOf;

const char HOTKEY_PROPERTY[] = "QW_Hotkey";

constexpr DWORD PEEK_FLAGS = PM_REMOVE | PM_NOYIELD;
constexpr DWORD WAKE_MASK = QS_ALLINPUT;
constexpr UINT RICH_EDIT_GET_OPTIONS = 0x044E;  // EM_GETOPTIONS
constexpr LRESULT RICH_EDIT_READ_ONLY = 0x0800; // ECO_READONLY

void QueueInitialise(void* record) {
    EventQueue* queue = static_cast<EventQueue*>(record);
    // Where addresses are wider than 32 bits the element grows with its link.
    queue->pool = PoolCreate(sizeof(QueuedEvent), EVENT_POOL_MIN_SLOTS, EVENT_POOL_MAX_SLOTS);
    // One element is taken for good: a block goes back to the heap once all its elements are
    // back, and the first block should stay for the program's lifetime so that a steady
    // trickle of events never touches the heap.
    if (queue->pool)
        PoolTake(queue->pool);
}

bool KeyDown(int key) { return GetKeyState(key) < 0; }

// An editable rich-edit control with the focus takes Tab itself instead of letting the
// accelerator move the focus away.
bool RichEditKeepsTab(HWND focus) {
    if (!KeyDown(VK_TAB) || KeyDown(VK_CONTROL) || KeyDown(VK_SHIFT) || KeyDown(VK_MENU))
        return false;
    char prefix[5] = {};
    if (GetClassNameA(focus, prefix, sizeof prefix) < 4 || std::memcmp(prefix, "Rich", 4) != 0)
        return false;
    LRESULT options = SendMessageA(focus, RICH_EDIT_GET_OPTIONS, 0, 0);
    return (options & RICH_EDIT_READ_ONLY) == 0;
}

} // namespace

void EventQueueInit() {
    // A new start-up: any event state belonged to a heap that may be gone by now.
    eventState = nullptr;
    eventQueue =
        static_cast<EventQueue*>(StateRecordCreate(sizeof(EventQueue), QueueInitialise, nullptr));
}

void EventStateInit(WindowAcceleratorsProc windowAccelerators) {
    eventState = static_cast<EventState*>(StateRecordCreate(sizeof(EventState), nullptr, nullptr));
    acceleratorsOf = windowAccelerators;
}

void EventsShutdown() {
    EventDataRelease();
    eventQueue = nullptr;
    eventState = nullptr;
    acceleratorsOf = nullptr;
}

EventQueue* EventQueueGet() { return eventQueue; }
EventState* EventStateGet() { return eventState; }

int EventPost(int32_t code, intptr_t item, ObjectNumber window, int32_t type) {
    EventQueue* queue = eventQueue;
    if (!queue || !queue->pool)
        return 0;
    if (queue->suspended)
        return 1;
    QueuedEvent* tail = queue->tail;
    if (tail && tail->code == code && tail->item == item && tail->window == window &&
        tail->type == type)
        return 1;
    QueuedEvent* event = static_cast<QueuedEvent*>(PoolTake(queue->pool));
    // The heap refused a new block: the event is lost, and the caller is told so rather than
    // a null element being filled in.
    if (!event)
        return 0;
    event->next = nullptr;
    event->code = code;
    event->item = item;
    event->window = window;
    event->type = type;
    if (tail)
        tail->next = event;
    else
        queue->head = event;
    queue->tail = event;
    return 1;
}

int32_t EventTake() {
    EventQueue* queue = eventQueue;
    if (!queue || !queue->head)
        return 0;
    QueuedEvent* event = queue->head;
    if (eventState) {
        eventState->current.item = event->item;
        eventState->current.window = event->window;
        eventState->current.type = event->type;
    }
    int32_t code = event->code;
    queue->head = event->next;
    if (queue->tail == event)
        queue->tail = nullptr;
    PoolGive(queue->pool, event);
    return code;
}

void EventDataRelease() {
    if (!eventState || !eventState->eventData)
        return;
    EventDataBlock* block = static_cast<EventDataBlock*>(eventState->eventData);
    eventState->eventData = nullptr;
    PrivateHeapFree(block->inner); // may be null
    PrivateHeapFree(block);
}

void EventDataTake(void* block) {
    if (!eventState)
        return;
    if (eventState->eventData && eventState->eventData != block)
        EventDataRelease();
    eventState->eventData = block;
}

HACCEL ActiveAccelerators(HWND window) {
    HWND focus = GetFocus();
    if (focus) {
        if (RichEditKeepsTab(focus))
            return nullptr;
        if (GetPropA(focus, HOTKEY_PROPERTY))
            return nullptr;
    }
    return acceleratorsOf ? acceleratorsOf(window) : nullptr;
}

int32_t WindowWaitEvent(int32_t timeout) {
    EventDataRelease();
    // Without the event state (start-up not run) there is nowhere to leave an event's details:
    // dispatch still runs so windows stay responsive, and the codes are still returned.
    EventFields scratch = {};
    EventFields& fields = eventState ? eventState->current : scratch;
    fields.type = -1;
    fields.immediateCode = 0;

    int32_t code = EventTake();
    if (code) {
        fields.immediateCode = code;
        fields.wParam = 0;
        fields.lParam = 0;
    } else {
        MSG message;
        if (timeout == -1) {
            GetMessageA(&message, nullptr, 0, 0);
        } else if (!PeekMessageA(&message, nullptr, 0, 0, PEEK_FLAGS)) {
            if (timeout == 0)
                return 0;
            DWORD woke = MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeout),
                                                   WAKE_MASK);
            if (woke == WAIT_TIMEOUT)
                return 0;
            // Sent messages are handled inside PeekMessageA and retrieve nothing.
            if (!PeekMessageA(&message, nullptr, 0, 0, PEEK_FLAGS))
                return 0;
        }

        HWND active = GetActiveWindow();
        HACCEL table = ActiveAccelerators(active);
        if (!table || !TranslateAcceleratorA(active, table, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (fields.immediateCode) {
            code = fields.immediateCode;
            fields.immediateCode = 0;
        } else {
            code = static_cast<int32_t>(message.message);
            fields.wParam = message.wParam;
            fields.lParam = message.lParam;
        }
    }
    if (eventState)
        eventState->last = eventState->current;
    return code;
}
