// Imaging: decodes a picture held in memory into a surface that can be copied onto an image.
//
// The objects are reference-counted and handed out by plain procedures, in the order a caller
// uses them: a transform factory, the surface factory that the factory's service lookup gives,
// a stream over a memory block, a surface loaded from the stream (gdk-pixbuf recognises the
// format from the bytes), a lock on the surface and the lock's drawing context (a cairo context on
// the decoded pixels). Every object obtained must be given back with ImagingRelease; releasing a
// stream made with delete-on-release also frees its memory block.
//
// Implemented: still pictures in any format gdk-pixbuf reads, decoded to 32-bit ARGB.
// Left out: transforms, animation, partial locks and time-outs (a lock always covers the whole
// surface and never waits).
#pragma once

#include <cairo.h>

#include <cstddef>
#include <string>
#include <vector>

enum class ImagingKind { TransformFactory, SurfaceFactory, Stream, Surface, SurfaceLock };

struct ImagingObject;
struct MemoryBlock;

// The service that the transform factory's lookup knows.
enum class ImagingService { SurfaceFactory };

// Results of InitImaging.
constexpr int ImagingOk = 0;        // the component is ready now
constexpr int ImagingAlready = 1;   // it was ready before this call
constexpr int ImagingRefused = -1;  // it cannot be used

int InitImaging();

ImagingObject* CreateTransformFactory();
// The factory's service lookup; none for a service it does not offer.
ImagingObject* QueryService(ImagingObject* factory, ImagingService service);

// Movable memory blocks: the address is valid between LockMemoryBlock and UnlockMemoryBlock.
MemoryBlock* AllocMemoryBlock(size_t size);
void* LockMemoryBlock(MemoryBlock* block);
void UnlockMemoryBlock(MemoryBlock* block);
void FreeMemoryBlock(MemoryBlock* block);
// A stream whose content is the block, read from its start. With delete_on_release the stream
// owns the block and frees it when the stream goes.
ImagingObject* CreateStreamOnBlock(MemoryBlock* block, bool delete_on_release);

// Decodes the rest of the stream into a new surface; none when the bytes are no picture.
ImagingObject* LoadImageFromStream(ImagingObject* surface_factory, ImagingObject* stream);
// Locks the whole surface for drawing; the lock keeps the surface alive until it is released.
ImagingObject* LockSurfaceDC(ImagingObject* surface);
// The lock's drawing context on the decoded pixels; it belongs to the lock.
cairo_t* GetDC(ImagingObject* lock);

struct ImagingRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};
// The area a drawing context can reach: for a surface's context, 0, 0 and its width and height.
ImagingRect GetClipBox(cairo_t* dc);
// Copies width x height pixels from src at src_x, src_y to dst at x, y, replacing what was there.
// Returns false when nothing was copied.
bool BitBlt(cairo_t* dst, int x, int y, int width, int height, cairo_t* src, int src_x, int src_y);

void ImagingAddRef(ImagingObject* object);
void ImagingRelease(ImagingObject* object);  // nothing for none
ImagingKind ImagingObjectKind(const ImagingObject* object);

// Test seam. Each step named here fails at its next call (once), as the real step does when its
// resource is missing: no object, no address, no context, or no copy.
enum class ImagingStep {
  Init,
  CreateFactory,
  QueryService,
  AllocBlock,
  LockBlock,
  CreateStream,
  LoadImage,
  LockSurface,
  GetDC,
  Copy,
};
void ImagingFailNext(ImagingStep step);
// Forgets pending failures and the release log.
void ImagingResetTestState();
// The kind of every object handed to ImagingRelease, in call order.
const std::vector<ImagingKind>& ImagingReleaseLog();
// Objects and memory blocks that exist now.
int ImagingLiveObjects();
int ImagingLiveBlocks();
std::string ImagingKindName(ImagingKind kind);
