#include "platform/events.h"

#include <glib.h>

#include <deque>
#include <map>
#include <utility>

#include "platform/internal.h"

namespace {

struct ControlEvent {
  int window = 0;
  int control = 0;
  int64_t type = 0;
  intptr_t data = 0;
};

std::map<std::pair<int, int>, EventHandler> WindowHandlers;  // (window, event)
std::map<std::pair<int, int>, EventHandler> TimerHandlers;   // (window, timer)
std::map<std::pair<int, int>, guint> TimerSources;
std::map<int, EventHandler> ControlHandlers;

std::deque<ControlEvent> Posted;
guint PostedSource = 0;
ControlEvent Current;

gboolean OnPostedReady(gpointer) {
  if (Posted.empty()) {
    PostedSource = 0;
    return G_SOURCE_REMOVE;
  }
  ControlEvent event = Posted.front();
  Posted.pop_front();
  DispatchControlEvent(event.window, event.control, event.type, event.data);
  if (Posted.empty()) {
    PostedSource = 0;
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

gboolean OnTimerElapsed(gpointer key_pointer) {
  auto* key = static_cast<std::pair<int, int>*>(key_pointer);
  auto found = TimerHandlers.find(*key);
  // GLib never re-enters a source that is being dispatched, and schedules the next tick from the
  // end of this one: ticks neither overlap nor pile up.
  if (found != TimerHandlers.end()) found->second();
  return G_SOURCE_CONTINUE;
}

gboolean OnWaitTimeout(gpointer flag) {
  *static_cast<bool*>(flag) = true;
  return G_SOURCE_REMOVE;
}

}  // namespace

void BindWindowEvent(int event, EventHandler handler, int window) {
  WindowHandlers[{window, event}] = handler;
}

void BindTimerEvent(EventHandler handler, int window, int timer) {
  TimerHandlers[{window, timer}] = handler;
}

void BindControl(int control, EventHandler handler) {
  ControlHandlers[control] = handler;
}

void StartTimer(int window, int timer, int interval_ms) {
  auto key = std::make_pair(window, timer);
  auto running = TimerSources.find(key);
  if (running != TimerSources.end()) g_source_remove(running->second);
  TimerSources[key] = g_timeout_add_full(
      G_PRIORITY_DEFAULT, interval_ms, OnTimerElapsed, new std::pair<int, int>(key),
      [](gpointer p) { delete static_cast<std::pair<int, int>*>(p); });
}

void PostControlEvent(int window, int control, int64_t type, intptr_t data) {
  Posted.push_back({window, control, type, data});
  if (PostedSource == 0)
    PostedSource = g_idle_add_full(G_PRIORITY_DEFAULT, OnPostedReady, nullptr, nullptr);
}

int CurrentEventControl() {
  return Current.control;
}
int64_t CurrentEventType() {
  return Current.type;
}
intptr_t CurrentEventData() {
  return Current.data;
}

bool WaitEvent(int timeout_ms) {
  if (timeout_ms < 0) return g_main_context_iteration(nullptr, TRUE);
  bool timed_out = false;
  guint timer = g_timeout_add(timeout_ms, OnWaitTimeout, &timed_out);
  g_main_context_iteration(nullptr, TRUE);
  if (!timed_out) g_source_remove(timer);
  return !timed_out;
}

bool DispatchWindowEvent(int window, int event) {
  auto found = WindowHandlers.find({window, event});
  if (found == WindowHandlers.end()) return false;
  found->second();
  return true;
}

void DispatchControlEvent(int window, int control, int64_t type, intptr_t data) {
  auto found = ControlHandlers.find(control);
  if (found == ControlHandlers.end()) return;
  // Handlers may dispatch nested events; each sees its own event.
  ControlEvent outer = Current;
  Current = {window, control, type, data};
  found->second();
  Current = outer;
}

void DispatchControlEventNow(int window, int control, int64_t type, intptr_t data) {
  DispatchControlEvent(window, control, type, data);
}
