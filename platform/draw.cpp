#include "platform/draw.h"

#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include <cstdlib>

#include "platform/internal.h"
#include "platform/platform.h"

namespace {

std::map<int, PangoFontDescription*> Fonts;
std::map<int, cairo_surface_t*> Images;
PangoFontDescription* DesktopMessageFont = nullptr;

// The one drawing in progress.
struct Drawing {
  cairo_t* cr = nullptr;
  cairo_surface_t* surface = nullptr;
  GtkWidget* widget = nullptr;  // canvas to repaint when drawing ends
  int font = 0;
  bool transparent_text = false;
};
Drawing Current;

// A close free humanist sans follows the requested face.
constexpr const char* FallbackFamilies = ",Open Sans,Noto Sans,DejaVu Sans,sans-serif";

bool Begin(cairo_surface_t* surface, GtkWidget* widget) {
  if (!surface || Current.cr) return false;
  Current = {};
  Current.surface = surface;
  Current.widget = widget;
  Current.cr = cairo_create(surface);
  return true;
}

}  // namespace

void SetSourceColor(cairo_t* cr, uint32_t bgr) {
  cairo_set_source_rgb(cr, (bgr & 0xff) / 255.0, ((bgr >> 8) & 0xff) / 255.0,
                       ((bgr >> 16) & 0xff) / 255.0);
}

const PangoFontDescription* MessageFont() {
  if (!DesktopMessageFont) {
    gchar* name = nullptr;
    if (GtkSettings* settings = gtk_settings_get_default())
      g_object_get(settings, "gtk-font-name", &name, nullptr);
    DesktopMessageFont = pango_font_description_from_string(name ? name : "Sans 10");
    g_free(name);
  }
  return DesktopMessageFont;
}

bool LoadFont(int number, const std::string& face, double points) {
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, (face + FallbackFamilies).c_str());
  pango_font_description_set_weight(font, PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(font, PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(font, FontPixelHeight(points) * PANGO_SCALE);
  if (auto old = Fonts.find(number); old != Fonts.end()) pango_font_description_free(old->second);
  Fonts[number] = font;
  return true;
}

bool CreateImage(int number, int width, int height) {
  if (width <= 0 || height <= 0) return false;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return false;
  }
  cairo_t* cr = cairo_create(image);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  FreeImage(number);
  Images[number] = image;
  return true;
}

bool ImageExists(int number) {
  return Images.count(number) != 0;
}

void FreeImage(int number) {
  auto found = Images.find(number);
  if (found == Images.end()) return;
  cairo_surface_destroy(found->second);
  Images.erase(found);
}

void ResizeImage(int number, int width, int height) {
  auto found = Images.find(number);
  if (found == Images.end() || width <= 0 || height <= 0) return;
  cairo_surface_t* old = found->second;
  cairo_surface_t* resized = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(resized);
  cairo_scale(cr, static_cast<double>(width) / cairo_image_surface_get_width(old),
              static_cast<double>(height) / cairo_image_surface_get_height(old));
  cairo_set_source_surface(cr, old, 0, 0);
  // GOOD filters over the whole source footprint when shrinking, and keeps the alpha channel.
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(old);
  found->second = resized;
}

cairo_surface_t* ImageSurface(int number) {
  auto found = Images.find(number);
  return found == Images.end() ? nullptr : found->second;
}

bool BeginDrawing(int control) {
  auto found = Canvases.find(control);
  if (found == Canvases.end()) return false;
  return Begin(found->second.buffer, found->second.area);
}

bool BeginImageDrawing(int number) {
  return Begin(ImageSurface(number), nullptr);
}

int DrawingWidth() {
  return Current.surface ? cairo_image_surface_get_width(Current.surface) : 0;
}

int DrawingHeight() {
  return Current.surface ? cairo_image_surface_get_height(Current.surface) : 0;
}

cairo_t* DrawingContext() {
  return Current.cr;
}

void FillBox(int64_t x, int64_t y, int64_t width, int64_t height, uint32_t bgr) {
  if (!Current.cr || width <= 0 || height <= 0) return;
  cairo_rectangle(Current.cr, static_cast<double>(x), static_cast<double>(y),
                  static_cast<double>(width), static_cast<double>(height));
  SetSourceColor(Current.cr, bgr);
  cairo_fill(Current.cr);
}

void DrawLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t bgr) {
  if (!Current.cr) return;
  // Whole pixels, both ends included, so a glyph lands exactly where it is meant to.
  SetSourceColor(Current.cr, bgr);
  int64_t dx = std::llabs(x2 - x1), dy = -std::llabs(y2 - y1);
  int64_t step_x = x1 < x2 ? 1 : -1, step_y = y1 < y2 ? 1 : -1;
  int64_t error = dx + dy;
  for (;;) {
    cairo_rectangle(Current.cr, static_cast<double>(x1), static_cast<double>(y1), 1, 1);
    if (x1 == x2 && y1 == y2) break;
    int64_t twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x1 += step_x;
    }
    if (twice <= dx) {
      error += dx;
      y1 += step_y;
    }
  }
  cairo_fill(Current.cr);
}

void SelectFont(int number) {
  Current.font = number;
}

void SetTransparentText() {
  Current.transparent_text = true;
}

void DrawText(int64_t x, int64_t y, const std::string& text, uint32_t bgr) {
  if (!Current.cr || text.empty()) return;
  PangoLayout* layout = pango_cairo_create_layout(Current.cr);
  auto font = Fonts.find(Current.font);
  pango_layout_set_font_description(layout, font != Fonts.end() ? font->second : MessageFont());
  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
  if (!Current.transparent_text) {
    // Opaque text mode paints the cell in the default background, white.
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    FillBox(x, y, width, height, 0xffffff);
  }
  SetSourceColor(Current.cr, bgr);
  cairo_move_to(Current.cr, static_cast<double>(x), static_cast<double>(y));
  pango_cairo_show_layout(Current.cr, layout);
  g_object_unref(layout);
}

void DrawImage(int number, int64_t x, int64_t y, int opacity) {
  cairo_surface_t* image = ImageSurface(number);
  if (!Current.cr || !image) return;
  cairo_set_source_surface(Current.cr, image, static_cast<double>(x), static_cast<double>(y));
  cairo_paint_with_alpha(Current.cr, opacity / 255.0);
}

void EndDrawing() {
  if (!Current.cr) return;
  cairo_destroy(Current.cr);
  cairo_surface_flush(Current.surface);
  if (Current.widget) gtk_widget_queue_draw(Current.widget);
  Current = {};
}

cairo_surface_t* CanvasSurface(int control) {
  auto found = Canvases.find(control);
  return found == Canvases.end() ? nullptr : found->second.buffer;
}

uint32_t SurfacePixel(cairo_surface_t* surface, int x, int y) {
  if (!surface || x < 0 || y < 0 || x >= cairo_image_surface_get_width(surface) ||
      y >= cairo_image_surface_get_height(surface))
    return 0;
  cairo_surface_flush(surface);
  const unsigned char* row =
      cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  uint32_t argb = reinterpret_cast<const uint32_t*>(row)[x];
  // Pixels are premultiplied; the player only reads opaque ones.
  uint32_t r = (argb >> 16) & 0xff, g = (argb >> 8) & 0xff, b = argb & 0xff;
  return (b << 16) | (g << 8) | r;
}

void FreeDrawingResources() {
  for (auto& [number, font] : Fonts) pango_font_description_free(font);
  Fonts.clear();
  for (auto& [number, image] : Images) cairo_surface_destroy(image);
  Images.clear();
}
