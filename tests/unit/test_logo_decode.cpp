// Decoding the stored logo through the imaging component into a numbered image: the result, and
// which imaging objects are released, in which order, on every way out.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/ids.h"
#include "panels/logo.h"
#include "platform/draw.h"
#include "platform/imaging.h"

namespace {

using Kinds = std::vector<ImagingKind>;

const Kinds AllReleased = {ImagingKind::SurfaceLock, ImagingKind::Surface,
                           ImagingKind::SurfaceFactory, ImagingKind::Stream,
                           ImagingKind::TransformFactory};

std::vector<std::string> Names(const Kinds& kinds) {
  std::vector<std::string> names;
  for (ImagingKind kind : kinds) names.push_back(ImagingKindName(kind));
  return names;
}

uint32_t Argb(cairo_surface_t* surface, int x, int y) {
  cairo_surface_flush(surface);
  const unsigned char* row =
      cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  return reinterpret_cast<const uint32_t*>(row)[x];
}

bool AllOpaque(cairo_surface_t* surface) {
  for (int y = 0; y < cairo_image_surface_get_height(surface); ++y) {
    for (int x = 0; x < cairo_image_surface_get_width(surface); ++x) {
      if (Argb(surface, x, y) >> 24 != 0xFF) return false;
    }
  }
  return true;
}

// The logo file decoded straight from disk, without the imaging component.
struct Reference {
  GdkPixbuf* pixbuf = nullptr;
  Reference() {
    pixbuf = gdk_pixbuf_new_from_file(TEST_SOURCE_DIR "/../resources/logo.jpg", nullptr);
  }
  ~Reference() {
    if (pixbuf) g_object_unref(pixbuf);
  }
  // One channel (0 red, 1 green, 2 blue) of one pixel.
  int Channel(int x, int y, int channel) const {
    const guint8* pixels = gdk_pixbuf_read_pixels(pixbuf);
    return pixels[y * gdk_pixbuf_get_rowstride(pixbuf) + x * gdk_pixbuf_get_n_channels(pixbuf) +
                  channel];
  }
  uint32_t Bgr(int x, int y) const {
    return Channel(x, y, 2) << 16 | Channel(x, y, 1) << 8 | Channel(x, y, 0);
  }
};

int SurfaceChannel(cairo_surface_t* surface, int x, int y, int channel) {
  return Argb(surface, x, y) >> (16 - 8 * channel) & 0xFF;
}

class LogoDecode : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeImage(LogoImage);
    ImagingResetTestState();
  }
  void TearDown() override {
    ImagingResetTestState();
    FreeImage(LogoImage);
    EXPECT_EQ(ImagingLiveObjects(), 0) << "an imaging object outlived the decoding";
    EXPECT_EQ(ImagingLiveBlocks(), 0) << "a memory block outlived the decoding";
  }
};

TEST_F(LogoDecode, StoredPictureIsA640SquareCopiedPixelForPixel) {
  Reference reference;
  ASSERT_NE(reference.pixbuf, nullptr);

  cairo_surface_t* image = DecodePicture(LogoImage, LogoPicture, LogoPictureSize, 32);

  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image, ImageSurface(LogoImage));
  EXPECT_EQ(cairo_image_surface_get_width(image), 640);
  EXPECT_EQ(cairo_image_surface_get_height(image), 640);
  EXPECT_TRUE(AllOpaque(image));
  for (int y = 3; y < 640; y += 79) {
    for (int x = 5; x < 640; x += 71) {
      EXPECT_EQ(SurfacePixel(image, x, y), reference.Bgr(x, y)) << "at " << x << ", " << y;
    }
  }
  EXPECT_EQ(Names(ImagingReleaseLog()), Names(AllReleased));
}

TEST_F(LogoDecode, PrepareLogoLeavesA160SquareOfTheSamePicture) {
  Reference reference;
  ASSERT_NE(reference.pixbuf, nullptr);

  PrepareLogo();

  cairo_surface_t* image = ImageSurface(LogoImage);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(cairo_image_surface_get_width(image), 160);
  EXPECT_EQ(cairo_image_surface_get_height(image), 160);
  EXPECT_TRUE(AllOpaque(image));
  // Each pixel stands for a 4 x 4 block of the picture: on average it is close to that block's
  // mean, which a copy of some other picture or a blank image would not be.
  double error = 0;
  int count = 0;
  for (int y = 0; y < 160; ++y) {
    for (int x = 0; x < 160; ++x) {
      for (int channel = 0; channel < 3; ++channel) {
        int sum = 0;
        for (int j = 0; j < 4; ++j) {
          for (int i = 0; i < 4; ++i) sum += reference.Channel(4 * x + i, 4 * y + j, channel);
        }
        error += std::abs(SurfaceChannel(image, x, y, channel) - sum / 16.0);
        ++count;
      }
    }
  }
  EXPECT_LT(error / count, 6.0);
}

struct NotAPicture {
  const char* name;
  std::vector<unsigned char> bytes;
};

TEST_F(LogoDecode, BytesThatAreNoPictureLeaveNoImage) {
  std::string text = "Ormelund-Radio";
  const NotAPicture cases[] = {
      {"text", {text.begin(), text.end()}},
      {"nothing", {}},
      {"JPEG start, then zeros", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // Cut off later, after the frame header, a JPEG still decodes, with the rest left grey.
      {"JPEG cut off inside its header", {LogoPicture, LogoPicture + 100}},
  };
  const Kinds released = {ImagingKind::SurfaceFactory, ImagingKind::Stream,
                          ImagingKind::TransformFactory};
  for (const NotAPicture& bad : cases) {
    SCOPED_TRACE(bad.name);
    ImagingResetTestState();
    EXPECT_EQ(DecodePicture(LogoImage, bad.bytes.data(), bad.bytes.size(), 32), nullptr);
    EXPECT_FALSE(ImageExists(LogoImage));
    EXPECT_EQ(Names(ImagingReleaseLog()), Names(released));
    EXPECT_EQ(ImagingLiveObjects(), 0);
    EXPECT_EQ(ImagingLiveBlocks(), 0);
  }
}

struct FailingStep {
  const char* name;
  ImagingStep step;
  Kinds released;
};

TEST_F(LogoDecode, AFailingStepLeavesNoImageAndReleasesWhatWasObtainedInOrder) {
  using K = ImagingKind;
  const FailingStep cases[] = {
      {"imaging refused", ImagingStep::Init, {}},
      {"no transform factory", ImagingStep::CreateFactory, {}},
      {"no surface factory", ImagingStep::QueryService, {K::TransformFactory}},
      {"no memory block", ImagingStep::AllocBlock, {K::SurfaceFactory, K::TransformFactory}},
      {"block cannot be locked", ImagingStep::LockBlock, {K::SurfaceFactory, K::TransformFactory}},
      {"no stream", ImagingStep::CreateStream, {K::SurfaceFactory, K::TransformFactory}},
      {"no surface", ImagingStep::LoadImage, {K::SurfaceFactory, K::Stream, K::TransformFactory}},
      {"no lock",
       ImagingStep::LockSurface,
       {K::Surface, K::SurfaceFactory, K::Stream, K::TransformFactory}},
      {"no drawing context", ImagingStep::GetDC, AllReleased},
      {"copy failed", ImagingStep::Copy, AllReleased},
  };
  for (const FailingStep& failing : cases) {
    SCOPED_TRACE(failing.name);
    ImagingResetTestState();
    ImagingFailNext(failing.step);
    EXPECT_EQ(DecodePicture(LogoImage, LogoPicture, LogoPictureSize, 32), nullptr);
    EXPECT_FALSE(ImageExists(LogoImage));
    EXPECT_EQ(Names(ImagingReleaseLog()), Names(failing.released));
    EXPECT_EQ(ImagingLiveObjects(), 0);
    EXPECT_EQ(ImagingLiveBlocks(), 0);
  }
}

TEST_F(LogoDecode, ADepthThatImagesDoNotHaveMakesNoImage) {
  EXPECT_EQ(DecodePicture(LogoImage, LogoPicture, LogoPictureSize, 24), nullptr);
  EXPECT_FALSE(ImageExists(LogoImage));
  EXPECT_EQ(Names(ImagingReleaseLog()), Names(AllReleased));
}

TEST_F(LogoDecode, AFailedDecodingThenNothingToResize) {
  ImagingFailNext(ImagingStep::LoadImage);
  PrepareLogo();
  EXPECT_FALSE(ImageExists(LogoImage));
}

TEST_F(LogoDecode, TheStreamReadsACopyThatGoesWithIt) {
  std::vector<unsigned char> bytes(LogoPicture, LogoPicture + LogoPictureSize);
  ImagingObject* stream = CreateMemoryStream(bytes.data(), bytes.size());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ImagingLiveBlocks(), 1);
  bytes.assign(bytes.size(), 0);  // the caller's bytes no longer hold a picture

  ImagingObject* factory = CreateTransformFactory();
  ImagingObject* surface_factory = QueryService(factory, ImagingService::SurfaceFactory);
  ImagingObject* surface = LoadImageFromStream(surface_factory, stream);
  EXPECT_NE(surface, nullptr);

  ImagingRelease(surface);
  ImagingRelease(surface_factory);
  ImagingRelease(stream);
  EXPECT_EQ(ImagingLiveBlocks(), 0);
  ImagingRelease(factory);
}

}  // namespace
