#include "player/player_page.h"

#include "config.h"
#include "platform/controls.h"
#include "platform/webview.h"

std::string StreamHost = ORMELUND_STREAM_HOST;

std::string BuildPlayerPage(const std::string& stream_host) {
  std::string page = "<meta http-equiv='X-UA-Compatible' content='IE=edge' />";
  page +=
      "<body style='background-color: RGB(0, 0, 0); margin-top:0px; margin-left:0px;' scroll=no>";
  page +=
      "<div id='VIDEO' oncontextmenu='return false;' style='margin-top:0px; margin-left:3px; "
      "width:550px; overflow:hidden; background-color:transparent !important;'>";
  page += "<audio id='stream' style='height:40px; width:550px; 'figure autoplay controls>";
  page += "<source src='http://" + stream_host + ":8000/192kbps/;?type=http&nocache=7'>";
  page += "</audio>";
  page += "</div>";
  page += "<script>";
  page += "var audio = document.getElementById('stream');";
  page += "audio.volume = 0.5;";
  page += "function addVolume() { if (audio.volume + 0.1 < 1.0) { audio.volume += 0.1;} }";
  page += "function subtractVolume() { if (audio.volume - 0.1 > 0) { audio.volume -= 0.1;} }";
  page += "document.getElementById('stream').style.backgroundColor = 'transparent'";
  page += "</script>";
  return page;
}

int LoadPlayerPage(int control) {
  std::string page = BuildPlayerPage(StreamHost);
  if (ControlExists(control)) SetWebViewHtml(control, page);
  return 0;
}
