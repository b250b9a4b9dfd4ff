#include "panels/logo.h"

#include <cstring>

#include "app/ids.h"
#include "platform/draw.h"
#include "platform/events.h"
#include "platform/imaging.h"

namespace {

constexpr int LogoSize = 160;            // pixels, at every DPI
constexpr int LogoDepth = 32;            // the only depth images have
constexpr uint32_t LogoFill = 0x191412;  // 0xBBGGRR

}  // namespace

void PrepareLogo() {
  DecodePicture(LogoImage, LogoPicture, LogoPictureSize, LogoDepth);
  // Nothing happens here when decoding failed: there is no image to resize.
  ResizeImage(LogoImage, LogoSize, LogoSize);
}

ImagingObject* CreateMemoryStream(const unsigned char* data, size_t size) {
  MemoryBlock* block = AllocMemoryBlock(size);
  if (!block) return nullptr;
  ImagingObject* stream = nullptr;
  if (void* address = LockMemoryBlock(block)) {
    if (size > 0) std::memcpy(address, data, size);
    stream = CreateStreamOnBlock(block, true);
    UnlockMemoryBlock(block);
  }
  if (!stream) FreeMemoryBlock(block);
  return stream;
}

cairo_surface_t* DecodePicture(int image, const unsigned char* data, size_t size, int depth) {
  int init = InitImaging();
  if (init != ImagingOk && init != ImagingAlready) return nullptr;
  ImagingObject* factory = CreateTransformFactory();
  if (!factory) return nullptr;

  // Each step runs only when the one before it gave its object; whatever was obtained is
  // released below, in one fixed order, on every path.
  ImagingObject* stream = nullptr;
  ImagingObject* surface = nullptr;
  ImagingObject* lock = nullptr;
  cairo_t* dc = nullptr;
  bool copied = false;
  ImagingObject* surface_factory = QueryService(factory, ImagingService::SurfaceFactory);
  if (surface_factory) stream = CreateMemoryStream(data, size);
  if (stream) surface = LoadImageFromStream(surface_factory, stream);
  if (surface) lock = LockSurfaceDC(surface);
  if (lock) dc = GetDC(lock);
  if (dc) {
    ImagingRect box = GetClipBox(dc);
    int width = box.right;
    int height = box.bottom;
    if (depth == LogoDepth && CreateImage(image, width, height)) {
      if (BeginImageDrawing(image)) {
        copied = BitBlt(DrawingContext(), 0, 0, width, height, dc, 0, 0);
        EndDrawing();
      }
      if (!copied) FreeImage(image);
    }
  }

  ImagingRelease(lock);
  ImagingRelease(surface);
  ImagingRelease(surface_factory);
  ImagingRelease(stream);  // frees the copy of the picture
  ImagingRelease(factory);
  return copied ? ImageSurface(image) : nullptr;
}

void OnLogoEvent() {
  if (CurrentEventType() != EventTypeRedraw) return;
  // The data of the redraw event is always -1, "draw LogoImage"; there is nothing else to show.
  if (!BeginDrawing(CurrentEventControl())) return;
  FillBox(0, 0, DrawingWidth(), DrawingHeight(), LogoFill);
  DrawImage(LogoImage, 0, 0, 255);
  EndDrawing();
}
