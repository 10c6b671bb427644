// The PNG picture of the panel in two steps (Linux only), so each can be checked on its own:
// the draw list rendered by cairo and pango, and the rendered surface packed as PNG.
#pragma once
#if !defined(_WIN32)

#include <string>

#include "host/drawing/cairo_handles.h"
#include "host/picture/panel_picture.h"

namespace host {

// An RGB24 surface of the picture's size, every layer drawn.
CairoSurface render_picture(const PanelPicture& picture);
// An RGB24 surface's pixels as PNG data.
std::string png_of_surface(cairo_surface_t* surface);

}  // namespace host
#endif
