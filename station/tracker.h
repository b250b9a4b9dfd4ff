// The song tracker: at every tick of the poll timer it reads the service clock, fetches the
// station's current song once the stored one may have ended, keeps the song on display in
// CurrentSong, and has the time-left countdown redrawn.
#pragma once

#include <cstdint>

#include "station/lfm.h"

// The song on display; empty until the first successful fetch. Only the tracker writes it; the
// now-playing panel receives its address with the redraw event.
extern LFM::api_current_song CurrentSong;

// Seconds added to the service's song timestamps before they are compared with its clock: the
// listener hears a song this much later than the service announces it. Start-up sets it to 42.
extern int64_t StreamDelay;

// Handler of the poll timer (PollTimer of MainWindow).
void OnPollTimer();
