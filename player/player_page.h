// The HTML page that plays the station's stream in the web view.
#pragma once

#include <string>

// Host of the station's audio stream (port 8000).
extern std::string StreamHost;

// The page text: one line, the audio element with its source and the volume script.
std::string BuildPlayerPage(const std::string& stream_host);

// Makes the page the document of web view `control`; nothing when there is no such control.
int LoadPlayerPage(int control);
