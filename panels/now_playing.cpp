#include "panels/now_playing.h"

#include <cstdio>

#include "app/ids.h"
#include "platform/draw.h"
#include "platform/events.h"
#include "station/lfm.h"
#include "station/tracker.h"

constexpr uint32_t PanelBackground = 0x000000;
constexpr uint32_t HeadingColor = 0x876C61;
constexpr uint32_t TextColor = 0xA0867C;

void OnNowPlayingEvent() {
  if (CurrentEventType() != EventTypeRedraw) return;
  std::string artist = "Artistenname", title = "Titelname", album = "Albumname";
  if (intptr_t data = CurrentEventData()) {
    const auto* song = reinterpret_cast<const LFM::api_current_song*>(data);
    artist = song->artist.name;
    title = song->title;
    album = song->album;
  }
  if (!BeginDrawing(CurrentEventControl())) return;
  FillBox(0, 0, DrawingWidth(), DrawingHeight(), PanelBackground);
  SetTransparentText();
  SelectFont(FontHeading);
  DrawText(15, 5, "now playing...", HeadingColor);
  SelectFont(FontArtist);
  DrawText(15, 25, "Artist", TextColor);
  DrawText(95, 25, ":", TextColor);
  DrawText(105, 25, artist, TextColor);
  SelectFont(FontText);
  DrawText(15, 60, "Title", TextColor);
  DrawText(95, 60, ":", TextColor);
  DrawText(105, 60, title, TextColor);
  DrawText(15, 80, "Album", TextColor);
  DrawText(95, 80, ":", TextColor);
  DrawText(105, 80, album, TextColor);
  DrawText(15, 100, "Time Left", TextColor);
  DrawText(95, 101, ":", TextColor);
  EndDrawing();
}

std::string FormatDuration(int64_t seconds) {
  int64_t minutes = seconds / 60, second_part = seconds % 60;
  int64_t hours = minutes / 60, minute_part = minutes % 60;
  char text[64];
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%lld : %02lld : %02lld", static_cast<long long>(hours),
                  static_cast<long long>(minute_part), static_cast<long long>(second_part));
  } else {
    std::snprintf(text, sizeof text, "%02lld : %02lld", static_cast<long long>(minute_part),
                  static_cast<long long>(second_part));
  }
  return text;
}

int DrawTimeLeft(int64_t now) {
  // Without the service's clock there is nothing true to show: the row keeps its last value.
  if (now < 0) return 0;
  int64_t seconds_left = ParseApiDate(CurrentSong.ends_at) + StreamDelay - now;
  if (seconds_left < 0) return 0;
  if (!BeginDrawing(CanvasNowPlaying)) return 0;
  SelectFont(FontText);
  FillBox(105, 103, 560, 16, 0x000000);
  SetTransparentText();
  DrawText(105, 101, FormatDuration(seconds_left), TextColor);
  EndDrawing();
  return 0;
}
