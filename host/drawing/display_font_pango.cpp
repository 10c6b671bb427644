#if !defined(_WIN32)
#include "host/drawing/cairo_handles.h"
#include "host/drawing/display_font.h"
#include "host/drawing/display_font_metrics.h"

namespace host {

DisplayTextExtent measure_display_text(const std::string& text, double font_px) {
  PangoContextHandle context(pango_font_map_create_context(pango_cairo_font_map_get_default()));
  PangoLayoutHandle layout =
      text_layout(pango_layout_new(context.get()), DISPLAY_FONT_FAMILY, font_px, text);
  PangoRectangle logical{};
  pango_layout_get_extents(layout.get(), nullptr, &logical);
  return {static_cast<double>(logical.width) / PANGO_SCALE,
          static_cast<double>(logical.height) / PANGO_SCALE, baseline_px(layout.get())};
}

}  // namespace host
#endif
