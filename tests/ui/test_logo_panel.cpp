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
#include "ui_support.h"

namespace {

constexpr uint32_t PanelFill = 0x191412;

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
  // The window and the logo canvas as the program makes them, on a screen of `dpi`.
  void Open(double dpi) {
    PlatformSetDpi(dpi, dpi);
    ASSERT_TRUE(OpenWindow(MainWindow, 0, 0, 730, 195, "test"));
    ASSERT_TRUE(CreateCanvas(CanvasLogo, 6, 30, 160, 160));
    BindControl(CanvasLogo, OnLogoEvent);
  }
  void SetUp() override {
    ImagingResetTestState();
    FreeImage(LogoImage);
  }
  void TearDown() override {
    CloseAllWindows();
    PlatformSetDpi(96, 96);
    ImagingResetTestState();
    FreeImage(LogoImage);
  }
};

TEST_F(LogoPanel, TheRedrawEventShowsTheLogoOverTheWholeCanvas) {
  Open(96);
  PrepareLogo();
  ASSERT_TRUE(ImageExists(LogoImage));
  int width = 0, height = 0;
  GetControlPixelSize(CanvasLogo, &width, &height);
  ASSERT_EQ(width, 160);
  ASSERT_EQ(height, 160);

  Deliver(CanvasLogo, EventTypeRedraw, -1);

  EXPECT_EQ(Mismatches(CanvasLogo, true), 0);
  // The logo is a picture, not a flat square: it holds far more than the fill colour.
  EXPECT_NE(SurfacePixel(CanvasSurface(CanvasLogo), 80, 20), PanelFill);
}

TEST_F(LogoPanel, TheScreenShowsTheDrawnLogo) {
  Open(96);
  PrepareLogo();
  ASSERT_TRUE(ImageExists(LogoImage));
  Deliver(CanvasLogo, EventTypeRedraw, -1);
  ShowWindow(MainWindow);
  ASSERT_TRUE(PumpUntil([] { return MainWindowXid() != 0; }, 5000));
  PumpEvents(300);

  WindowPicture picture;
  TakeWindowPicture(&picture);
  ASSERT_NE(picture.pixbuf, nullptr);
  cairo_surface_t* logo = ImageSurface(LogoImage);
  for (int y = 0; y < 160; y += 9) {
    for (int x = 0; x < 160; x += 7) {
      // The canvas sits at 6, 30 in the window.
      EXPECT_EQ(picture.At(6 + x, 30 + y), SurfacePixel(logo, x, y)) << "at " << x << ", " << y;
    }
  }
}

TEST_F(LogoPanel, WithoutTheLogoTheCanvasIsAPlainSquare) {
  Open(96);
  ImagingFailNext(ImagingStep::LoadImage);  // as with bytes that the decoder does not know
  PrepareLogo();
  ASSERT_FALSE(ImageExists(LogoImage));

  Deliver(CanvasLogo, EventTypeRedraw, -1);

  EXPECT_EQ(Mismatches(CanvasLogo, false), 0);
}

TEST_F(LogoPanel, OtherEventsLeaveTheCanvasAsItWas) {
  Open(96);
  PrepareLogo();
  Deliver(CanvasLogo, EventTypeRedraw, -1);
  std::vector<uint32_t> before = Pixels(CanvasSurface(CanvasLogo));
  // Without the image, a redraw would leave a plain square, so any drawing would show.
  FreeImage(LogoImage);

  for (int64_t type : {LeftButtonDown, LeftButtonUp, LeftClick, MouseEnter, MouseMove, MouseLeave,
                       MouseWheel, EventTypeRedraw + 1}) {
    SCOPED_TRACE(type);
    Deliver(CanvasLogo, type, -1);
    EXPECT_TRUE(Pixels(CanvasSurface(CanvasLogo)) == before);
  }
}

TEST_F(LogoPanel, At144DpiTheLogoStays160PixelsInTheTopLeftCorner) {
  Open(144);
  int width = 0, height = 0;
  GetControlPixelSize(CanvasLogo, &width, &height);
  ASSERT_EQ(width, 240);
  ASSERT_EQ(height, 240);
  PrepareLogo();
  ASSERT_TRUE(ImageExists(LogoImage));

  Deliver(CanvasLogo, EventTypeRedraw, -1);

  EXPECT_EQ(Mismatches(CanvasLogo, true), 0);
}

}  // namespace
