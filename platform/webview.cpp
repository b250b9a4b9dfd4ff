#include "platform/webview.h"

#include <webkit2/webkit2.h>

#include "platform/controls.h"
#include "platform/events.h"
#include "platform/internal.h"
#include "platform/platform.h"

std::map<int, GtkWidget*> WebViews;

namespace {

std::map<int, void (*)()> CrashHandlers;

constexpr int LoadTimeoutMs = 10000;

// A new load cancels one still running (a page with an endless stream never finishes): that one
// reports its failure and end after the new load was asked for, so only reports after the new
// load's start count.
struct LoadWait {
  bool started = false;
  bool committed = false;
  bool finished = false;
  bool failed = false;
};

struct ScriptWait {
  bool done = false;
  bool ok = false;
  std::string result;
};

WebKitWebView* FindView(int control) {
  auto found = WebViews.find(control);
  return found == WebViews.end() ? nullptr : WEBKIT_WEB_VIEW(found->second);
}

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer wait_pointer) {
  auto* wait = static_cast<LoadWait*>(wait_pointer);
  if (event == WEBKIT_LOAD_STARTED) wait->started = true;
  if (event == WEBKIT_LOAD_COMMITTED && wait->started) wait->committed = true;
  if (event == WEBKIT_LOAD_FINISHED && wait->started) wait->finished = true;
}

gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer wait_pointer) {
  auto* wait = static_cast<LoadWait*>(wait_pointer);
  if (wait->started) wait->failed = true;
  return FALSE;
}

gboolean OnDeadline(gpointer flag) {
  *static_cast<bool*>(flag) = true;
  return G_SOURCE_REMOVE;
}

// Runs the main loop until done() holds or the deadline passes.
template <typename Done>
bool DispatchUntil(Done done, int timeout_ms) {
  bool expired = false;
  guint deadline = g_timeout_add(timeout_ms, OnDeadline, &expired);
  while (!done() && !expired) g_main_context_iteration(nullptr, TRUE);
  if (!expired) g_source_remove(deadline);
  return done();
}

void OnScriptFinished(GObject* view, GAsyncResult* result, gpointer wait_pointer) {
  auto* wait = static_cast<ScriptWait*>(wait_pointer);
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
  if (value) {
    gchar* text =
        jsc_value_is_string(value) ? jsc_value_to_string(value) : jsc_value_to_json(value, 0);
    wait->result = text ? text : "";
    g_free(text);
    wait->ok = true;
    g_object_unref(value);
  }
  if (error) g_error_free(error);
  wait->done = true;
}

// The view shows the one document the program gives it: every other navigation and every new
// window is refused.
gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, gpointer) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (g_strcmp0(uri, "about:blank") == 0) {
      webkit_policy_decision_use(decision);
    } else {
      webkit_policy_decision_ignore(decision);
    }
    return TRUE;
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  return FALSE;
}

gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                       gpointer) {
  return FALSE;  // the page decides (its player area refuses the menu)
}

void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason, gpointer) {
  for (auto& [control, widget] : WebViews)
    if (WEBKIT_WEB_VIEW(widget) == view)
      if (auto handler = CrashHandlers.find(control); handler != CrashHandlers.end())
        handler->second();
}

// Starts a load with start() and waits until it is committed (or finished).
template <typename Start>
bool LoadAndWait(WebKitWebView* view, bool until_finished, Start start) {
  LoadWait wait;
  gulong changed = g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), &wait);
  gulong failed = g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), &wait);
  start();
  bool ok = DispatchUntil(
      [&] { return wait.failed || (until_finished ? wait.finished : wait.committed); },
      LoadTimeoutMs);
  g_signal_handler_disconnect(view, changed);
  g_signal_handler_disconnect(view, failed);
  return ok && !wait.failed;
}

}  // namespace

bool CreateWebView(int control, int64_t x, int64_t y, int64_t width, int64_t height,
                   const std::string& url) {
  WindowEntry* parent = ControlParent(1);
  if (!parent || ControlExists(control)) return false;
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  WebKitWebsitePolicies* policies =
      webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr);
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  GtkWidget* widget =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "website-policies",
                              policies, "user-content-manager", content, nullptr));
  g_object_unref(context);
  g_object_unref(policies);
  g_object_unref(content);
  WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(widget));
  g_object_set(settings, "enable-developer-extras", FALSE, "allow-file-access-from-file-urls",
               FALSE, "allow-universal-access-from-file-urls", FALSE,
               "javascript-can-open-windows-automatically", FALSE,
               "media-playback-requires-user-gesture", FALSE, nullptr);
  g_signal_connect(widget, "decide-policy", G_CALLBACK(OnDecidePolicy), nullptr);
  g_signal_connect(widget, "context-menu", G_CALLBACK(OnContextMenu), nullptr);
  g_signal_connect(widget, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), nullptr);
  WebViews[control] = widget;
  PlaceControl(parent, widget, static_cast<int>(UnitsToPixelsX(x)),
               static_cast<int>(UnitsToPixelsY(y)), static_cast<int>(UnitsToPixelsX(width)),
               static_cast<int>(UnitsToPixelsY(height)));
  WebKitWebView* view = WEBKIT_WEB_VIEW(widget);
  LoadAndWait(view, true,
              [&] { webkit_web_view_load_uri(view, url.empty() ? "about:blank" : url.c_str()); });
  return true;
}

bool SetWebViewHtml(int control, const std::string& html) {
  WebKitWebView* view = FindView(control);
  if (!view) return false;
  // An endless media stream holds back the document's load event, so the document counts as
  // loaded once it is committed and parsed.
  if (!LoadAndWait(view, false,
                   [&] { webkit_web_view_load_html(view, html.c_str(), "about:blank"); }))
    return false;
  std::string state;
  for (int attempt = 0; attempt < LoadTimeoutMs / 50; ++attempt) {
    if (RunWebViewScript(control, "document.readyState", &state, 1000) && state != "loading")
      return true;
    WaitEvent(50);
  }
  return false;
}

void AddWebViewUserScript(int control, const std::string& script) {
  WebKitWebView* view = FindView(control);
  if (!view) return;
  WebKitUserScript* user_script =
      webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, nullptr, nullptr);
  webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(view),
                                         user_script);
  webkit_user_script_unref(user_script);
}

bool RunWebViewScript(int control, const std::string& script, std::string* result, int timeout_ms) {
  WebKitWebView* view = FindView(control);
  if (!view) return false;
  auto* wait = new ScriptWait;
  webkit_web_view_evaluate_javascript(view, script.c_str(), -1, nullptr, nullptr, nullptr,
                                      OnScriptFinished, wait);
  DispatchUntil([&] { return wait->done; }, timeout_ms);
  bool ok = wait->done && wait->ok;
  if (ok && result) *result = wait->result;
  // A late answer still writes into `wait`, so it is leaked on time-out rather than freed early.
  if (wait->done) delete wait;
  return ok;
}

void SetWebViewCrashHandler(int control, void (*handler)()) {
  CrashHandlers[control] = handler;
}

void DestroyWebViews() {
  for (auto& [control, widget] : WebViews) {
    webkit_web_view_stop_loading(WEBKIT_WEB_VIEW(widget));
    webkit_web_view_try_close(WEBKIT_WEB_VIEW(widget));
    gtk_widget_destroy(widget);
  }
  WebViews.clear();
}
