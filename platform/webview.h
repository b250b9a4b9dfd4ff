// The embedded web view: WebKitGTK, locked to the document it is given.
//
// It plays media without a user gesture, never navigates away from its document or opens
// windows, keeps no website data on disk and offers no developer tools.
#pragma once

#include <cstdint>
#include <string>

// Creates the web view with the given start address ("" = about:blank) and returns once that
// document has loaded, dispatching waiting events meanwhile.
bool CreateWebView(int control, int64_t x, int64_t y, int64_t width, int64_t height,
                   const std::string& url);

// Makes `html` the complete content of the web view's current document (base about:blank) and
// returns once it is committed and parsed, dispatching waiting events meanwhile. False when the
// control is no web view or the load failed.
bool SetWebViewHtml(int control, const std::string& html);

// Adds a script that runs in every document the web view loads from now on, after the document
// has been parsed, without becoming part of the document's text.
void AddWebViewUserScript(int control, const std::string& script);

// Runs a script in the page and returns its result as text (JSON for non-strings), waiting at most
// timeout_ms while dispatching events. False when it failed or timed out.
bool RunWebViewScript(int control, const std::string& script, std::string* result,
                      int timeout_ms = 5000);

// Called after the web engine's process ended unexpectedly.
void SetWebViewCrashHandler(int control, void (*handler)());
