// The logo panel on a real canvas: what the redraw event draws, with and without the logo, at
// 96 and 144 DPI, and that other events leave the canvas alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/ids.h"
#include "panels/logo.h"
#include "platform/controls.h"
#include "platform/draw.h"
#include "platform/events.h"
#include "platform/imaging.h"
#include "platform/platform.h"
#include "platform/window.h"

namespace {

constexpr uint32_t PanelFill = 0x191412;
// Canvases of their own, one per DPI, since a canvas keeps the pixel size it was made with. The
// handler draws on whichever control its event names, as it does on CanvasLogo.
constexpr int LogoCanvasAt96Dpi = 40;
constexpr int LogoCanvasAt144Dpi = 41;

// Makes a 160 x 160 unit canvas at the window's top-left corner as the screen at `dpi` would,
// unless it exists, and binds the logo handler to it.
void MakeLogoCanvas(int control, double dpi) {
  if (!WindowExists(MainWindow)) {
    ASSERT_TRUE(OpenWindow(MainWindow, 0, 0, 730, 195, "Ormelund-Radio"));
  }
  double dpi_x = PlatformDpiX(), dpi_y = PlatformDpiY();
  PlatformSetDpi(dpi, dpi);
  bool made = ControlExists(control) || CreateCanvas(control, 0, 0, 160, 160);
  PlatformSetDpi(dpi_x, dpi_y);
  ASSERT_TRUE(made);
  BindControl(control, OnLogoEvent);
}

// Posts the event as the program does and lets the event loop deliver it.
void Deliver(int control, int64_t type, intptr_t data) {
  PostControlEvent(MainWindow, control, type, data);
  for (int i = 0; i < 200 && WaitEvent(20); ++i) {
  }
}

std::vector<uint32_t> Pixels(cairo_surface_t* surface) {
  std::vector<uint32_t> pixels;
  for (int y = 0; y < cairo_image_surface_get_height(surface); ++y) {
    for (int x = 0; x < cairo_image_surface_get_width(surface); ++x) {
      pixels.push_back(SurfacePixel(surface, x, y));
    }
  }
  return pixels;
}

// Pixels of the canvas that differ from what is expected there: the logo's pixel inside its
// 160 x 160 corner, the fill colour elsewhere. Counting keeps a failure's report short.
int Mismatches(int control, bool with_logo) {
  cairo_surface_t* canvas = CanvasSurface(control);
  cairo_surface_t* logo = ImageSurface(LogoImage);
  int wrong = 0;
  for (int y = 0; y < cairo_image_surface_get_height(canvas); ++y) {
    for (int x = 0; x < cairo_image_surface_get_width(canvas); ++x) {
      bool in_logo = with_logo && x < 160 && y < 160;
      uint32_t expected = in_logo ? SurfacePixel(logo, x, y) : PanelFill;
      if (SurfacePixel(canvas, x, y) != expected) ++wrong;
    }
  }
  return wrong;
}

class LogoPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    ImagingResetTestState();
    FreeImage(LogoImage);
  }
  void TearDown() override {
    ImagingResetTestState();
    FreeImage(LogoImage);
  }
};

TEST_F(LogoPanel, TheRedrawEventShowsTheLogoOverTheWholeCanvas) {
  MakeLogoCanvas(LogoCanvasAt96Dpi, 96);
  PrepareLogo();
  ASSERT_TRUE(ImageExists(LogoImage));
  int width = 0, height = 0;
  GetControlPixelSize(LogoCanvasAt96Dpi, &width, &height);
  ASSERT_EQ(width, 160);
  ASSERT_EQ(height, 160);

  Deliver(LogoCanvasAt96Dpi, EventTypeRedraw, -1);

  EXPECT_EQ(Mismatches(LogoCanvasAt96Dpi, true), 0);
  // The logo is a picture, not a flat square: it holds far more than the fill colour.
  EXPECT_NE(SurfacePixel(CanvasSurface(LogoCanvasAt96Dpi), 80, 20), PanelFill);
}

TEST_F(LogoPanel, WithoutTheLogoTheCanvasIsAPlainSquare) {
  MakeLogoCanvas(LogoCanvasAt96Dpi, 96);
  ImagingFailNext(ImagingStep::LoadImage);  // as with bytes that the decoder does not know
  PrepareLogo();
  ASSERT_FALSE(ImageExists(LogoImage));

  Deliver(LogoCanvasAt96Dpi, EventTypeRedraw, -1);

  EXPECT_EQ(Mismatches(LogoCanvasAt96Dpi, false), 0);
}

TEST_F(LogoPanel, OtherEventsLeaveTheCanvasAsItWas) {
  MakeLogoCanvas(LogoCanvasAt96Dpi, 96);
  PrepareLogo();
  Deliver(LogoCanvasAt96Dpi, EventTypeRedraw, -1);
  std::vector<uint32_t> before = Pixels(CanvasSurface(LogoCanvasAt96Dpi));
  // Without the image, a redraw would leave a plain square, so any drawing would show.
  FreeImage(LogoImage);

  for (int64_t type : {LeftButtonDown, LeftButtonUp, LeftClick, MouseEnter, MouseMove, MouseLeave,
                       MouseWheel, EventTypeRedraw + 1}) {
    SCOPED_TRACE(type);
    Deliver(LogoCanvasAt96Dpi, type, -1);
    EXPECT_TRUE(Pixels(CanvasSurface(LogoCanvasAt96Dpi)) == before);
  }
}

TEST_F(LogoPanel, At144DpiTheLogoStays160PixelsInTheTopLeftCorner) {
  MakeLogoCanvas(LogoCanvasAt144Dpi, 144);
  int width = 0, height = 0;
  GetControlPixelSize(LogoCanvasAt144Dpi, &width, &height);
  ASSERT_EQ(width, 240);
  ASSERT_EQ(height, 240);
  PrepareLogo();
  ASSERT_TRUE(ImageExists(LogoImage));

  Deliver(LogoCanvasAt144Dpi, EventTypeRedraw, -1);

  EXPECT_EQ(Mismatches(LogoCanvasAt144Dpi, true), 0);
}

}  // namespace
