#include "platform/imaging.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

struct MemoryBlock {
  unsigned char* data = nullptr;
  size_t size = 0;
  int locks = 0;
};

struct ImagingObject {
  ImagingKind kind = ImagingKind::TransformFactory;
  int refs = 1;
  // Stream: its block, whether it frees it, and the read position.
  MemoryBlock* block = nullptr;
  bool owns_block = false;
  size_t position = 0;
  // Surface: the decoded pixels.
  cairo_surface_t* pixels = nullptr;
  // Lock: the surface it holds and its drawing context, made on first request.
  ImagingObject* surface = nullptr;
  cairo_t* dc = nullptr;
};

namespace {

bool ready = false;
bool fail_next[static_cast<int>(ImagingStep::Copy) + 1] = {};
std::vector<ImagingKind> release_log;
int live_objects = 0;
int live_blocks = 0;

// True once for a step that a test asked to fail.
bool Failing(ImagingStep step) {
  bool& flag = fail_next[static_cast<int>(step)];
  bool fail = flag;
  flag = false;
  return fail;
}

ImagingObject* NewObject(ImagingKind kind) {
  ImagingObject* object = new (std::nothrow) ImagingObject;
  if (!object) return nullptr;
  object->kind = kind;
  ++live_objects;
  return object;
}

void Drop(ImagingObject* object) {
  if (!object || object->refs <= 0) return;
  if (--object->refs > 0) return;
  switch (object->kind) {
    case ImagingKind::Stream:
      if (object->owns_block) FreeMemoryBlock(object->block);
      break;
    case ImagingKind::Surface:
      cairo_surface_destroy(object->pixels);
      break;
    case ImagingKind::SurfaceLock:
      if (object->dc) cairo_destroy(object->dc);
      Drop(object->surface);
      break;
    case ImagingKind::TransformFactory:
    case ImagingKind::SurfaceFactory:
      break;
  }
  delete object;
  --live_objects;
}

// Copies a pixbuf (8 bits per sample, RGB or RGBA) into a new premultiplied ARGB32 surface.
cairo_surface_t* SurfaceFromPixbuf(GdkPixbuf* pixbuf) {
  int width = gdk_pixbuf_get_width(pixbuf);
  int height = gdk_pixbuf_get_height(pixbuf);
  int channels = gdk_pixbuf_get_n_channels(pixbuf);
  int row_bytes = gdk_pixbuf_get_rowstride(pixbuf);
  bool has_alpha = gdk_pixbuf_get_has_alpha(pixbuf);
  if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || channels < (has_alpha ? 4 : 3)) {
    return nullptr;
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  const guint8* source = gdk_pixbuf_read_pixels(pixbuf);
  unsigned char* target = cairo_image_surface_get_data(surface);
  int target_row_bytes = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    const guint8* in = source + static_cast<size_t>(y) * row_bytes;
    uint32_t* out = reinterpret_cast<uint32_t*>(target + static_cast<size_t>(y) * target_row_bytes);
    for (int x = 0; x < width; ++x, in += channels) {
      uint32_t a = has_alpha ? in[3] : 255;
      uint32_t r = (in[0] * a + 127) / 255;
      uint32_t g = (in[1] * a + 127) / 255;
      uint32_t b = (in[2] * a + 127) / 255;
      out[x] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

}  // namespace

int InitImaging() {
  if (Failing(ImagingStep::Init)) return ImagingRefused;
  if (ready) return ImagingAlready;
  ready = true;
  return ImagingOk;
}

ImagingObject* CreateTransformFactory() {
  if (Failing(ImagingStep::CreateFactory)) return nullptr;
  return NewObject(ImagingKind::TransformFactory);
}

ImagingObject* QueryService(ImagingObject* factory, ImagingService service) {
  if (Failing(ImagingStep::QueryService)) return nullptr;
  if (!factory || factory->kind != ImagingKind::TransformFactory) return nullptr;
  if (service != ImagingService::SurfaceFactory) return nullptr;
  return NewObject(ImagingKind::SurfaceFactory);
}

MemoryBlock* AllocMemoryBlock(size_t size) {
  if (Failing(ImagingStep::AllocBlock)) return nullptr;
  MemoryBlock* block = new (std::nothrow) MemoryBlock;
  if (!block) return nullptr;
  // One byte at least, so that an empty block still has an address.
  block->data = static_cast<unsigned char*>(std::malloc(size ? size : 1));
  if (!block->data) {
    delete block;
    return nullptr;
  }
  block->size = size;
  ++live_blocks;
  return block;
}

void* LockMemoryBlock(MemoryBlock* block) {
  if (Failing(ImagingStep::LockBlock) || !block) return nullptr;
  ++block->locks;
  return block->data;
}

void UnlockMemoryBlock(MemoryBlock* block) {
  if (block && block->locks > 0) --block->locks;
}

void FreeMemoryBlock(MemoryBlock* block) {
  if (!block) return;
  std::free(block->data);
  delete block;
  --live_blocks;
}

ImagingObject* CreateStreamOnBlock(MemoryBlock* block, bool delete_on_release) {
  if (Failing(ImagingStep::CreateStream) || !block) return nullptr;
  ImagingObject* stream = NewObject(ImagingKind::Stream);
  if (!stream) return nullptr;
  stream->block = block;
  stream->owns_block = delete_on_release;
  return stream;
}

ImagingObject* LoadImageFromStream(ImagingObject* surface_factory, ImagingObject* stream) {
  if (Failing(ImagingStep::LoadImage)) return nullptr;
  if (!surface_factory || surface_factory->kind != ImagingKind::SurfaceFactory) return nullptr;
  if (!stream || stream->kind != ImagingKind::Stream) return nullptr;

  const unsigned char* bytes = stream->block->data + stream->position;
  size_t count = stream->block->size - stream->position;
  stream->position = stream->block->size;

  // The loader picks the decoder by the bytes themselves, whatever the picture claims to be.
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  bool written = count > 0 && gdk_pixbuf_loader_write(loader, bytes, count, nullptr);
  bool closed = gdk_pixbuf_loader_close(loader, nullptr);
  GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  cairo_surface_t* pixels = pixbuf ? SurfaceFromPixbuf(pixbuf) : nullptr;
  g_object_unref(loader);
  if (!pixels) return nullptr;

  ImagingObject* surface = NewObject(ImagingKind::Surface);
  if (!surface) {
    cairo_surface_destroy(pixels);
    return nullptr;
  }
  surface->pixels = pixels;
  return surface;
}

ImagingObject* LockSurfaceDC(ImagingObject* surface) {
  if (Failing(ImagingStep::LockSurface)) return nullptr;
  if (!surface || surface->kind != ImagingKind::Surface) return nullptr;
  ImagingObject* lock = NewObject(ImagingKind::SurfaceLock);
  if (!lock) return nullptr;
  ImagingAddRef(surface);
  lock->surface = surface;
  return lock;
}

cairo_t* GetDC(ImagingObject* lock) {
  if (Failing(ImagingStep::GetDC)) return nullptr;
  if (!lock || lock->kind != ImagingKind::SurfaceLock) return nullptr;
  if (!lock->dc) {
    cairo_t* dc = cairo_create(lock->surface->pixels);
    if (cairo_status(dc) != CAIRO_STATUS_SUCCESS) {
      cairo_destroy(dc);
      return nullptr;
    }
    lock->dc = dc;
  }
  return lock->dc;
}

ImagingRect GetClipBox(cairo_t* dc) {
  ImagingRect box;
  if (!dc) return box;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_clip_extents(dc, &x1, &y1, &x2, &y2);
  box.left = static_cast<int>(std::floor(x1));
  box.top = static_cast<int>(std::floor(y1));
  box.right = static_cast<int>(std::ceil(x2));
  box.bottom = static_cast<int>(std::ceil(y2));
  return box;
}

bool BitBlt(cairo_t* dst, int x, int y, int width, int height, cairo_t* src, int src_x, int src_y) {
  if (Failing(ImagingStep::Copy) || !dst || !src) return false;
  if (cairo_status(dst) != CAIRO_STATUS_SUCCESS) return false;
  cairo_save(dst);
  cairo_identity_matrix(dst);
  cairo_set_operator(dst, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(dst, cairo_get_target(src), x - src_x, y - src_y);
  cairo_pattern_set_filter(cairo_get_source(dst), CAIRO_FILTER_NEAREST);
  cairo_rectangle(dst, x, y, width, height);
  cairo_fill(dst);
  cairo_restore(dst);
  cairo_surface_flush(cairo_get_target(dst));
  return cairo_status(dst) == CAIRO_STATUS_SUCCESS;
}

void ImagingAddRef(ImagingObject* object) {
  if (object) ++object->refs;
}

void ImagingRelease(ImagingObject* object) {
  if (!object) return;
  release_log.push_back(object->kind);
  Drop(object);
}

ImagingKind ImagingObjectKind(const ImagingObject* object) {
  return object->kind;
}

void ImagingFailNext(ImagingStep step) {
  fail_next[static_cast<int>(step)] = true;
}

void ImagingResetTestState() {
  for (bool& flag : fail_next) flag = false;
  release_log.clear();
}

const std::vector<ImagingKind>& ImagingReleaseLog() {
  return release_log;
}

int ImagingLiveObjects() {
  return live_objects;
}

int ImagingLiveBlocks() {
  return live_blocks;
}

std::string ImagingKindName(ImagingKind kind) {
  switch (kind) {
    case ImagingKind::TransformFactory:
      return "transform factory";
    case ImagingKind::SurfaceFactory:
      return "surface factory";
    case ImagingKind::Stream:
      return "stream";
    case ImagingKind::Surface:
      return "surface";
    case ImagingKind::SurfaceLock:
      return "lock";
  }
  return "?";
}
