// The player page's text.
#include <gtest/gtest.h>

#include "player/player_page.h"

namespace {

TEST(PlayerPage, IsTheFourteenPiecesOnOneLine) {
  const std::string expected =
      "<meta http-equiv='X-UA-Compatible' content='IE=edge' />"
      "<body style='background-color: RGB(0, 0, 0); margin-top:0px; margin-left:0px;' scroll=no>"
      "<div id='VIDEO' oncontextmenu='return false;' style='margin-top:0px; margin-left:3px; "
      "width:550px; overflow:hidden; background-color:transparent !important;'>"
      "<audio id='stream' style='height:40px; width:550px; 'figure autoplay controls>"
      "<source src='http://radio.example:8000/192kbps/;?type=http&nocache=7'>"
      "</audio></div><script>var audio = document.getElementById('stream');audio.volume = 0.5;"
      "function addVolume() { if (audio.volume + 0.1 < 1.0) { audio.volume += 0.1;} }"
      "function subtractVolume() { if (audio.volume - 0.1 > 0) { audio.volume -= 0.1;} }"
      "document.getElementById('stream').style.backgroundColor = 'transparent'</script>";
  std::string page = BuildPlayerPage("radio.example");
  EXPECT_EQ(page, expected);
  EXPECT_EQ(page.find_first_of("\r\n"), std::string::npos);
}

TEST(PlayerPage, SourceNamesTheStreamHostAndNothingElse) {
  for (const std::string host : {"localhost", "127.0.0.1", "stream.ormelund.example"}) {
    std::string page = BuildPlayerPage(host);
    const std::string open = "<source src='";
    size_t start = page.find(open) + open.size();
    size_t end = page.find('\'', start);
    EXPECT_EQ(page.substr(start, end - start),
              "http://" + host + ":8000/192kbps/;?type=http&nocache=7");
  }
}

}  // namespace
