// The now-playing panel and its time-left countdown.
#pragma once

#include <cstdint>
#include <string>

// Handler of every event of the now-playing canvas; draws on the redraw event alone.
void OnNowPlayingEvent();

// Draws the time left of CurrentSong at the server time `now` into the countdown row.
int DrawTimeLeft(int64_t now);

// "mm : ss", or "h : mm : ss" from one hour on.
std::string FormatDuration(int64_t seconds);
