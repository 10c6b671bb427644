// Owning handles for the cairo, pango and glib objects the panel pictures use, so every one is
// released on every path, and a text layout set up once for all who draw or measure text.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <memory>
#include <string>

namespace host {

struct CairoSurfaceRelease {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct CairoContextRelease {
  void operator()(cairo_t* cairo) const { cairo_destroy(cairo); }
};
struct GObjectRelease {
  void operator()(void* object) const { g_object_unref(object); }
};
struct FontDescriptionRelease {
  void operator()(PangoFontDescription* font) const { pango_font_description_free(font); }
};

using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceRelease>;
using CairoContext = std::unique_ptr<cairo_t, CairoContextRelease>;
using PangoContextHandle = std::unique_ptr<PangoContext, GObjectRelease>;
using PangoLayoutHandle = std::unique_ptr<PangoLayout, GObjectRelease>;
using FontDescription = std::unique_ptr<PangoFontDescription, FontDescriptionRelease>;

// `layout` (newly made, owned from here on) holding `text` in `family` at `font_px` pixels.
inline PangoLayoutHandle text_layout(PangoLayout* layout, const char* family, double font_px,
                                     const std::string& text) {
  PangoLayoutHandle owned(layout);
  FontDescription font(pango_font_description_from_string(family));
  pango_font_description_set_absolute_size(font.get(), font_px * PANGO_SCALE);
  pango_layout_set_font_description(owned.get(), font.get());
  pango_layout_set_text(owned.get(), text.c_str(), static_cast<int>(text.size()));
  return owned;
}

// The baseline of a layout's first line, pixels below its top.
inline double baseline_px(PangoLayout* layout) {
  return static_cast<double>(pango_layout_get_baseline(layout)) / PANGO_SCALE;
}

}  // namespace host
