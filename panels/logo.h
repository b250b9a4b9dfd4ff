// The station logo: the picture stored in the program, decoded once into LogoImage, and the logo
// panel that shows it.
#pragma once

#include <cairo.h>

#include <cstddef>

struct ImagingObject;

// The station's artwork, a 640 x 640 baseline JPEG built into the program.
extern const unsigned char LogoPicture[];
extern const size_t LogoPictureSize;

// Decodes LogoPicture into LogoImage and shrinks it to 160 x 160. On failure there is no
// LogoImage and nothing is reported.
void PrepareLogo();

// Decodes a picture held in memory into image `image` of `depth` bits per pixel (32 is the one
// depth images have). Returns the new image, or nullptr when the picture could not be decoded
// and copied; then the image does not exist. Every imaging object obtained is released.
cairo_surface_t* DecodePicture(int image, const unsigned char* data, size_t size, int depth);

// A stream over a copy of the bytes; releasing the stream frees the copy. nullptr when there is
// no memory for it.
ImagingObject* CreateMemoryStream(const unsigned char* data, size_t size);

// Handler of every event of the logo canvas; draws on the redraw event alone.
void OnLogoEvent();
