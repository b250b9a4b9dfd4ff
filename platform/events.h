// Events: handlers bound to window, control and timer events, posted control events, the current
// event, and waiting for the next event.
//
// Posted control events travel through one FIFO and are dispatched from the GLib main loop in the
// order posted, never at the moment they are posted. Timer ticks never overlap and never pile up:
// a tick that fell due while its handler ran is delivered once, after it returns.
#pragma once

#include <cstdint>

using EventHandler = void (*)();

// Event codes.
constexpr int EventControl = 13100;
constexpr int EventTimer = 13110;
constexpr int EventCloseRequest = 13116;
constexpr int EventWindowMoved = 13117;
constexpr int EventWindowSized = 13118;

// Control event types that a canvas reports.
constexpr int64_t MouseEnter = 65537;
constexpr int64_t MouseLeave = 65538;
constexpr int64_t MouseMove = 65539;
constexpr int64_t LeftButtonDown = 65540;
constexpr int64_t LeftButtonUp = 65541;
constexpr int64_t RightButtonDown = 65542;
constexpr int64_t RightButtonUp = 65543;
constexpr int64_t MiddleButtonDown = 65544;
constexpr int64_t MiddleButtonUp = 65545;
constexpr int64_t MouseWheel = 65546;
constexpr int64_t LeftClick = 0;
constexpr int64_t RightClick = 1;
constexpr int64_t LeftDoubleClick = 2;
constexpr int64_t RightDoubleClick = 3;

void BindWindowEvent(int event, EventHandler handler, int window);
void BindTimerEvent(EventHandler handler, int window, int timer);
void BindControl(int control, EventHandler handler);

// Starts (or restarts) a timer of a window: a tick every interval for as long as the window exists.
void StartTimer(int window, int timer, int interval_ms);

// Queues a control event; it is dispatched later, after everything posted before it.
void PostControlEvent(int window, int control, int64_t type, intptr_t data);

// The event being handled (control events; 0 outside a handler).
int CurrentEventControl();
int64_t CurrentEventType();
intptr_t CurrentEventData();

// Takes and dispatches one waiting event or window message. timeout_ms < 0 blocks until there is
// one; otherwise returns false when nothing came within the time-out.
bool WaitEvent(int timeout_ms);

// Test seam: runs the control's handler with the given event at once, as a canvas's own report
// would.
void DispatchControlEventNow(int window, int control, int64_t type, intptr_t data);
