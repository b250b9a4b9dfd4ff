// The song tracker.
#include "station/tracker.h"

#include "app/ids.h"
#include "panels/now_playing.h"
#include "platform/events.h"
#include "settings/preferences.h"

LFM::api_current_song CurrentSong;
int64_t StreamDelay = 0;

namespace {

// Fetches the current song and takes it over when the artist, album or title differ (exactly,
// letter case included). Other fields, the times among them, never make a song new: while the
// service still names the stored song, its times stay and the next tick asks again.
void UpdateCurrentSong() {
  LFM::api_current_song fetched;
  if (!FetchCurrentSong(AppSettings.MainStation, &fetched)) return;
  if (fetched.artist.name == CurrentSong.artist.name && fetched.album == CurrentSong.album &&
      fetched.title == CurrentSong.title)
    return;
  CurrentSong = fetched;  // every field, the nested artist and the unread ones included
  PostControlEvent(MainWindow, CanvasNowPlaying, EventTypeRedraw,
                   reinterpret_cast<intptr_t>(&CurrentSong));
}

}  // namespace

void OnPollTimer() {
  const int64_t now = FetchServerTime();
  // Due once the stored song's end lies StreamDelay seconds in the past on the service clock.
  // The second test only matters when the end time is unreadable (-1) but the start is not.
  // An unreadable clock (-1) is below both thresholds: no song request.
  if (now >= ParseApiDate(CurrentSong.ends_at) + StreamDelay &&
      now > ParseApiDate(CurrentSong.started_at) + StreamDelay)
    UpdateCurrentSong();
  // After any update, so that the countdown measures the song now stored.
  DrawTimeLeft(now);
}
