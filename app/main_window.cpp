#include <string>

#include "app/app.h"
#include "app/caption.h"
#include "app/ids.h"
#include "panels/logo.h"
#include "panels/now_playing.h"
#include "platform/controls.h"
#include "platform/dialog.h"
#include "platform/draw.h"
#include "platform/events.h"
#include "platform/platform.h"
#include "platform/webview.h"
#include "platform/window.h"
#include "player/player_page.h"
#include "player/stream_watchdog.h"
#include "settings/preferences.h"
#include "station/tracker.h"

extern const unsigned char Icon256[], Icon128[], Icon64[], Icon48[], Icon32[], Icon16[];
extern const size_t Icon256Size, Icon128Size, Icon64Size, Icon48Size, Icon32Size, Icon16Size;

constexpr uint32_t WindowBackground = 0x212121;
constexpr uint32_t TitleBarGrey = 0x484a4c;
constexpr uint32_t TitleText = 0xeaeaea;

int InitResources() {
  LoadFont(FontHeading, "Segoe UI", 11);
  LoadFont(FontText, "Segoe UI", 12);
  LoadFont(FontArtist, "Segoe UI", 14);
  SetUpDataFolder();
  PrepareLogo();
  LoadPreferences();
  return 0;
}

static void CreateGreyLabel(int control, int64_t x, int64_t y, int64_t width, int64_t height) {
  CreateLabel(control, x, y, width, height, "", false);
  SetControlColor(control, ColorBackground, TitleBarGrey);
}

bool CreateMainWindow() {
  std::string title = "Ormelund-Radio" + AppSettings.MainStation;
  if (!OpenWindow(MainWindow, AppSettings.WindowX, AppSettings.WindowY, AppSettings.WindowW,
                  AppSettings.WindowH, title))
    return false;
  const unsigned char* icons[] = {Icon256, Icon128, Icon64, Icon48, Icon32, Icon16};
  const size_t icon_sizes[] = {Icon256Size, Icon128Size, Icon64Size,
                               Icon48Size,  Icon32Size,  Icon16Size};
  SetWindowIcons(MainWindow, icons, icon_sizes, 6);
  SetWindowColor(MainWindow, WindowBackground);
  CreateCaptionButtons();
  CreateLabel(TitleLabel, 1, 0, 629, 25, "  Ormelund-Radio ", true);
  SetControlColor(TitleLabel, ColorText, TitleText);
  SetControlColor(TitleLabel, ColorBackground, TitleBarGrey);
  CreateGreyLabel(TitleGap, WindowInnerWidth(MainWindow) - 54, 0, 8, 25);
  CreateGreyLabel(BorderLeft, 1, 25, 1, 171);
  CreateGreyLabel(BorderRight, 729, 25, 1, 171);
  CreateGreyLabel(BorderBottom, 1, 194, 728, 1);
  CreateCanvas(CanvasNowPlaying, 170, 26, 559, 130);
  CreateCanvas(CanvasLogo, 6, 30, 160, 160);
  CreateWebView(WebPlayer, 170, 154, 558, 40, "");
  return true;
}

void StartMainWindow() {
  BindWindowEvent(EventWindowSized, OnWindowMoveSize, MainWindow);
  BindWindowEvent(EventWindowMoved, OnWindowMoveSize, MainWindow);
  BindControl(CanvasLogo, OnLogoEvent);
  BindControl(CanvasNowPlaying, OnNowPlayingEvent);
  PostControlEvent(MainWindow, CanvasLogo, EventTypeRedraw, -1);
  PostControlEvent(MainWindow, CanvasNowPlaying, EventTypeRedraw, 0);
  StartTimer(MainWindow, PollTimer, PollIntervalMs);
  BindTimerEvent(OnPollTimer, MainWindow, PollTimer);
  InstallStreamWatchdog(WebPlayer);
  LoadPlayerPage(WebPlayer);
  ShowWindow(MainWindow);
  SetWindowHook(OnMainWindowMessage, MainWindow);
}

void RunMainWindow() {
  InitResources();
  if (!CreateMainWindow()) {
    ShowErrorBox("Info", "Could not open main window.\r\rApp terminated!");
    EndProgram();
  }
  StartMainWindow();
#ifdef ORMELUND_POLL_LOOP_MS
  // Benchmark build only (bench/): the polling loop, to measure what it costs.
  for (;;) WaitEvent(ORMELUND_POLL_LOOP_MS);
#else
  // Blocks until the next event: an idle player does not wake up between its timer ticks.
  for (;;) WaitEvent(-1);
#endif
}

void EndProgram() {
  PlatformCloseDown();
}
