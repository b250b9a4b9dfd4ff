// The player page in the real web engine: it plays the local station's Icecast stream at half
// volume, its volume script steps as written, right clicks in the player area open no menu, the
// page cannot navigate away or open windows, it survives a missing stream server, and
// LoadPlayerPage ignores a control that is no web view.
#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <string>

#include "app/ids.h"
#include "platform/controls.h"
#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/webview.h"
#include "player/player_page.h"
#include "player_support.h"
#include "ui_support.h"

namespace {

WebKitWebView* PlayerView() {
  return WEBKIT_WEB_VIEW(WebViews[WebPlayer]);
}

// Windows shown as windows of their own (GTK's own pop-ups, such as tooltips, do not count).
int TopLevelWindows() {
  GList* windows = gtk_window_list_toplevels();
  int count = 0;
  for (GList* item = windows; item; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    if (gtk_window_get_window_type(window) == GTK_WINDOW_TOPLEVEL &&
        gtk_widget_get_visible(GTK_WIDGET(window)))
      ++count;
  }
  g_list_free(windows);
  return count;
}

class PlayerPageTest : public LocalStationTest {
 protected:
  void SetUp() override {
    LocalStationTest::SetUp();
    ASSERT_TRUE(OpenPlayerWindow(false));
    ASSERT_TRUE(SetWebViewHtml(WebPlayer, PlayerPageOnPort(station.stream_port)));
  }
  void TearDown() override { CloseAllWindows(); }
};

TEST_F(PlayerPageTest, PlaysTheStreamAtHalfVolume) {
  ASSERT_TRUE(PageBecomes("audio.currentTime > 0.5", 15000)) << PageValue("audio.networkState");
  double first = PageNumber("audio.currentTime");
  PumpEvents(2000);
  EXPECT_GT(PageNumber("audio.currentTime") - first, 1.5);
  EXPECT_EQ(PageValue("audio.paused"), "false");
  // The sound server keeps volumes in steps of its own: 0.5 reads back as 0.5000011920928955.
  EXPECT_NEAR(PageNumber("audio.volume"), 0.5, 1e-5);
}

// The page's own addVolume and subtractVolume, called once the engine has taken on a volume. The
// guards compare what the engine reports, in the sound server's steps: at 0.9 it reports
// 0.89998668..., and even an exact 0.9 + 0.1 is 0.9999999999999999, below 1.0, so addVolume raises
// the volume to 1.0; at 0.1 it reports 0.09999884..., and minus 0.1 is below 0, so
// subtractVolume leaves it.
TEST_F(PlayerPageTest, VolumeStepsAndTheirGuards) {
  ASSERT_TRUE(PageBecomes("audio.currentTime > 0.5", 15000));
  struct Case {
    double start;
    const char* call;
    double expected;
  };
  const Case cases[] = {
      {0.5, "addVolume()", 0.6},   {0.5, "subtractVolume()", 0.4},
      {0.95, "addVolume()", 0.95}, {0.05, "subtractVolume()", 0.05},
      {0.9, "addVolume()", 1.0},   {0.1, "subtractVolume()", 0.1},
  };
  for (const Case& c : cases) {
    PageValue("audio.volume = " + std::to_string(c.start) + "; true");
    PumpEvents(500);
    double before = PageNumber("audio.volume");
    PageValue(std::string(c.call) + "; true");
    PumpEvents(500);
    double after = PageNumber("audio.volume");
    std::printf("%s at %.17g (set %.2f) -> %.17g\n", c.call, before, c.start, after);
    EXPECT_NEAR(after, c.expected, 1e-4) << c.call << " at " << c.start;
  }
}

TEST_F(PlayerPageTest, RightClickInThePlayerAreaOpensNoMenu) {
  int menus = 0;
  auto on_menu = +[](WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                     gpointer count) -> gboolean {
    ++*static_cast<int*>(count);
    return TRUE;  // counted; not shown
  };
  g_signal_connect(PlayerView(), "context-menu", G_CALLBACK(on_menu), &menus);
  PumpEvents(500);
  // On the control bar of the audio element: its play button and its middle.
  EXPECT_TRUE(ClickWindow(170 + 30, 154 + 20, 3));
  EXPECT_TRUE(ClickWindow(170 + 300, 154 + 20, 3));
  PumpEvents(500);
  EXPECT_EQ(menus, 0);
  // The same click, once the player area has lost its handler, gets the engine's menu: the
  // clicks above arrived and were refused by the page.
  PageValue("document.getElementById('VIDEO').removeAttribute('oncontextmenu'); true");
  EXPECT_TRUE(ClickWindow(170 + 300, 154 + 20, 3));
  EXPECT_TRUE(PumpUntil([&] { return menus == 1; }, 2000));
}

// The address tried answers (the station's control page), so a navigation that was let through
// would replace the document and lose its marker.
TEST_F(PlayerPageTest, NavigationIsRefusedAndNoWindowOpens) {
  const std::string address =
      "http://127.0.0.1:" + std::to_string(station.control_port) + "/_control";
  int windows = TopLevelWindows();
  PageValue("window.marker = 'kept'; true");
  // From the page's script.
  PageValue("location.href = '" + address + "'; true");
  PumpEvents(1000);
  EXPECT_EQ(PageValue("window.marker"), "kept");
  EXPECT_EQ(PageValue("String(window.open('" + address + "'))"), "null");
  // From a real click on a link over the whole page, in this view and in a new one; the link
  // counts the clicks that reach it.
  PageValue("window.clicks = 0; true");
  for (const char* target : {"_self", "_blank"}) {
    PageValue("var link = document.createElement('a'); link.href = '" + address +
              "'; link.target = '" + target +
              "'; link.style = 'position:fixed; left:0; top:0; width:100%; height:100%; "
              "z-index:9'; link.onclick = function () { clicks++; }; "
              "document.body.appendChild(link); true");
    EXPECT_TRUE(ClickWindow(170 + 300, 154 + 20, 1));
    PumpEvents(1000);
    EXPECT_EQ(PageValue("window.marker"), "kept") << target;
    PageValue("link.remove(); true");
  }
  EXPECT_EQ(PageValue("clicks"), "2");
  EXPECT_STREQ(webkit_web_view_get_uri(PlayerView()), "about:blank");
  EXPECT_EQ(TopLevelWindows(), windows);
}

// Without a station: nothing listens where the page looks for its stream.
class PlayerPageOfflineTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(OpenPlayerWindow(false)); }
  void TearDown() override { CloseAllWindows(); }
};

bool Crashed = false;

TEST_F(PlayerPageOfflineTest, WithoutAStreamServerTheControlsShowWithoutSound) {
  Crashed = false;
  SetWebViewCrashHandler(WebPlayer, [] { Crashed = true; });
  ASSERT_TRUE(SetWebViewHtml(WebPlayer, PlayerPageOnPort(FreePort())));
  EXPECT_TRUE(PageBecomes("audio.networkState === audio.NETWORK_NO_SOURCE", 5000));
  PumpEvents(2000);
  EXPECT_EQ(PageNumber("audio.currentTime"), 0);
  EXPECT_EQ(PageValue("audio.paused"), "true");
  EXPECT_EQ(PageValue("audio.controls"), "true");
  EXPECT_EQ(PageValue("var box = audio.getBoundingClientRect(); box.width + 'x' + box.height"),
            "550x40");
  // The engine's control bar is drawn: the player area is not the page's black.
  WindowPicture picture;
  TakeWindowPicture(&picture);
  ASSERT_NE(picture.pixbuf, nullptr);
  EXPECT_NE(picture.At(170 + 300, 154 + 20), 0x000000u);
  EXPECT_NEAR(PageNumber("audio.volume"), 0.5, 1e-5);
  EXPECT_FALSE(Crashed);
  SetWebViewCrashHandler(WebPlayer, [] {});
}

TEST_F(PlayerPageOfflineTest, LoadPlayerPageIgnoresAControlThatIsNoWebView) {
  ASSERT_TRUE(CreateLabel(TitleLabel, 1, 0, 629, 25, "label", true));
  PageValue("window.marker = 'kept'; true");
  int windows = TopLevelWindows();
  for (int control : {42, TitleLabel}) {
    EXPECT_EQ(LoadPlayerPage(control), 0);
    PumpEvents(300);
    EXPECT_EQ(PageValue("window.marker"), "kept") << control;
  }
  EXPECT_FALSE(ControlExists(42));
  EXPECT_EQ(TopLevelWindows(), windows);
  EXPECT_STREQ(webkit_web_view_get_uri(PlayerView()), "about:blank");
}

}  // namespace
