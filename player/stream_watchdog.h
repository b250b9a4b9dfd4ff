// Keeps the station's stream playing through outages without changing the player page's text:
// a script that the web view adds to every document it loads watches the page's audio element
// and loads its source again when the stream has died; when the web engine's process dies, the
// player page is loaded again.
#pragma once

// The watchdog's script (JavaScript). It acts on the element with id "stream" and does nothing in
// documents without one.
extern const char* const StreamWatchdogScript;

// Adds the watchdog to web view `control` for every document loaded from now on, and has the
// player page loaded again into it after its web process ended unexpectedly. Call it once
// per web view, before LoadPlayerPage; nothing when there is no such control.
void InstallStreamWatchdog(int control);
