// The imaging component's objects: lifetimes, the drawing context of a lock and the copy.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "panels/logo.h"
#include "platform/imaging.h"

namespace {

class Imaging : public ::testing::Test {
 protected:
  void SetUp() override { ImagingResetTestState(); }
  void TearDown() override {
    ImagingResetTestState();
    EXPECT_EQ(ImagingLiveObjects(), 0);
    EXPECT_EQ(ImagingLiveBlocks(), 0);
  }
};

TEST_F(Imaging, ALockKeepsItsSurfaceAndGivesItsSizeAndPixels) {
  ImagingObject* factory = CreateTransformFactory();
  ImagingObject* surface_factory = QueryService(factory, ImagingService::SurfaceFactory);
  ImagingObject* stream = CreateMemoryStream(LogoPicture, LogoPictureSize);
  ImagingObject* surface = LoadImageFromStream(surface_factory, stream);
  ASSERT_NE(surface, nullptr);
  ImagingObject* lock = LockSurfaceDC(surface);
  ASSERT_NE(lock, nullptr);
  ImagingRelease(surface);  // the lock still holds it
  cairo_t* dc = GetDC(lock);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDC(lock), dc);

  ImagingRect box = GetClipBox(dc);
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, 640);
  EXPECT_EQ(box.bottom, 640);

  // A copy of a 4 x 3 piece lands at the given place, pixel for pixel, and nowhere else.
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
  cairo_t* target_dc = cairo_create(target);
  EXPECT_TRUE(BitBlt(target_dc, 2, 1, 4, 3, dc, 300, 200));
  cairo_surface_t* source = cairo_get_target(dc);
  auto pixel = [](cairo_surface_t* s, int x, int y) {
    cairo_surface_flush(s);
    uint32_t value;
    std::memcpy(&value,
                cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + 4 * x, 4);
    return value;
  };
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      bool inside = x >= 2 && x < 6 && y >= 1 && y < 4;
      EXPECT_EQ(pixel(target, x, y), inside ? pixel(source, 298 + x, 199 + y) : 0u)
          << "at " << x << ", " << y;
    }
  }
  cairo_destroy(target_dc);
  cairo_surface_destroy(target);

  // Factory, surface factory, stream, lock, and the surface that the lock keeps.
  EXPECT_EQ(ImagingLiveObjects(), 5);
  ImagingRelease(lock);
  EXPECT_EQ(ImagingLiveObjects(), 3);
  ImagingRelease(stream);
  ImagingRelease(surface_factory);
  ImagingRelease(factory);
}

TEST_F(Imaging, AStreamWithoutDeleteOnReleaseLeavesItsBlock) {
  MemoryBlock* block = AllocMemoryBlock(16);
  ASSERT_NE(block, nullptr);
  ImagingObject* stream = CreateStreamOnBlock(block, false);
  ASSERT_NE(stream, nullptr);
  ImagingRelease(stream);
  EXPECT_EQ(ImagingLiveBlocks(), 1);
  FreeMemoryBlock(block);
}

TEST_F(Imaging, InitialisingTwiceSaysAlready) {
  int first = InitImaging();
  EXPECT_TRUE(first == ImagingOk || first == ImagingAlready);
  EXPECT_EQ(InitImaging(), ImagingAlready);
}

}  // namespace
