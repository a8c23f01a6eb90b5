// The event queue and the wait with a timeout. WindowWaitEvent is the frame loop's only contact
// with the window system: each call returns one event code, taken first from the queue that
// window procedures post into, then from an immediate event set while one retrieved message is
// dispatched, and finally the number of that message itself. The event's details (window
// number, item, type) are left in the EventState.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/pool.h"
#include "core/registry.h"

// A window procedure's hook, consulted before the window's own translation (window.h): the
// event state keeps the one for windows that have none of their own.
typedef LRESULT(CALLBACK* WindowHookProc)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The accelerator table the window layer keeps for a window, or null. The window layer hands
// it to EventStateInit, so that the wait reads window records without knowing them.
typedef HACCEL (*WindowAcceleratorsProc)(HWND window);

// Event codes returned by WindowWaitEvent. Any other non-zero code is the number of a retrieved
// message that set no immediate event.
constexpr int32_t EVENT_WINDOW_MOVED = 3;
constexpr int32_t EVENT_WINDOW_SIZED = 5;
constexpr int32_t EVENT_REPAINT = 15;
constexpr int32_t EVENT_CLOSE_WINDOW = 16;
constexpr int32_t EVENT_CONTROL = 13100;
constexpr int32_t EVENT_MENU_ITEM = 13101;
constexpr int32_t EVENT_ICON_MOUSE = 13102;
constexpr int32_t EVENT_WINDOW_ACTIVATED = 13104;
constexpr int32_t EVENT_WINDOW_DATA = 13105;
constexpr int32_t EVENT_CONTROL_DATA = 13106;
constexpr int32_t EVENT_WINDOW_MINIMIZED = 13107;
constexpr int32_t EVENT_WINDOW_MAXIMIZED = 13108;
constexpr int32_t EVENT_WINDOW_RESTORED = 13109;
constexpr int32_t EVENT_TIMER_TICK = 13110;

// Private messages that outside code sends to numbered windows.
constexpr UINT MESSAGE_ICON_MOUSE = 12501;   // wParam icon id, lParam the mouse message
constexpr UINT MESSAGE_WINDOW_DATA = 13105;  // lParam a heap block handed to the event state
constexpr UINT MESSAGE_CONTROL_DATA = 13106; // wParam item, lParam as above
constexpr UINT MESSAGE_GADGET = 13120;       // forwarded to the gadget named by lParam

// Pool geometry of the queued events.
constexpr int32_t EVENT_POOL_MIN_SLOTS = 16;
constexpr int32_t EVENT_POOL_MAX_SLOTS = 256;

// Start-up: the queue and its pool. Called before WindowsInit.
void EventQueueInit();
// The event state; made by WindowsInit, which says where a window's accelerator table is.
void EventStateInit(WindowAcceleratorsProc windowAccelerators);
// Shutdown, from WindowsShutdown: frees a data event's block still held, and forgets the queue
// and the event state, whose records go with the private heap.
void EventsShutdown();

// Appends an event unless the queue is suspended or the newest queued event is equal to it.
// Returns 1 when the event is queued or deliberately collapsed, 0 when it was lost because the
// heap refused a pool block. The item and the window are as wide as an object number: the item
// may be one (a window's), or a message's wParam.
int EventPost(int32_t code, intptr_t item, ObjectNumber window, int32_t type);
// The oldest queued event's code (its item, window and type go to the event state), or 0.
int32_t EventTake();

// Waits at most timeout milliseconds (-1 = no limit, 0 = not at all) for an event, dispatching
// at most one retrieved message. Returns the event code, or 0 when nothing arrived.
int32_t WindowWaitEvent(int32_t timeout);

// The accelerator table the wait translates with for the given (active) window, or null when
// the focus control keeps its keys (an editable rich-edit control with Tab, a hotkey control).
HACCEL ActiveAccelerators(HWND window);

// For WindowCloseAll and EventsShutdown: frees a data event's block still held, inner block
// first.
void EventDataRelease();
// Called by the translation when a data message arrives: the block belongs to the event state
// until the next wait. A block still held from an earlier data message that no wait returned
// is freed first, so a burst of data messages does not leak.
void EventDataTake(void* block);

struct QueuedEvent {
    QueuedEvent* next;
    int32_t code;
    intptr_t item;
    ObjectNumber window;
    int32_t type;
};

struct EventQueue {
    ElementPool* pool;
    QueuedEvent* head; // oldest
    QueuedEvent* tail; // newest
    int32_t suspended; // while non-zero EventPost does nothing
};

// The six values that describe the latest event; copied whole when a wait returns.
struct EventFields {
    intptr_t item;
    ObjectNumber window; // -1 when the message's window has no number
    int32_t type;        // -1 at the start of every wait
    int32_t immediateCode;
    WPARAM wParam; // the message's, when a raw message number is returned
    LPARAM lParam;
};

struct EventState {
    EventFields current;
    EventFields last;
    WindowHookProc windowHook; // consulted when a window has no hook of its own
    void* eventData;           // an EventDataBlock, owned here until the next wait
};

// The head of the heap block that arrives with a data message. The rest of the block belongs
// to whoever posts the message; the block and its inner block belong to the event state.
struct EventDataBlock {
    int32_t senderFields[5];
    void* inner; // a second heap block, or null
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(QueuedEvent) == 20, "queued event of 20 bytes");
static_assert(sizeof(EventQueue) == 16, "event queue of 16 bytes");
static_assert(sizeof(EventFields) == 24, "six 32-bit event fields");
static_assert(offsetof(EventState, windowHook) == 48, "event state field order");
static_assert(sizeof(EventState) == 56, "event state of 56 bytes");
static_assert(offsetof(EventDataBlock, inner) == 20, "inner block at byte 20 of a data block");
#endif

EventQueue* EventQueueGet();
EventState* EventStateGet();
