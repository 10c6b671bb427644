#if !defined(_WIN32)
#include "host/drawing/font_caches.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <cstdlib>
#include <mutex>

namespace host {

namespace {

// In this order: pango's font map holds cairo's font faces, which hold fontconfig's patterns.
// Every layout and context of ours is gone by then (each is owned by a handle in a function).
// Cairo's reset may only run when no font of cairo's is alive: it aborts the program otherwise.
// Pango may still hold its font map for a moment after it answered us (it reads the font
// configuration on a worker of its own), so the reset runs only when dropping the default font
// map really freed it; else the caches stay for the system to reclaim, still reachable, so a
// leak checker does not count them either.
void release_font_caches() {
  gpointer font_map = pango_cairo_font_map_get_default();
  g_object_add_weak_pointer(G_OBJECT(font_map), &font_map);
  pango_cairo_font_map_set_default(nullptr);
  if (font_map != nullptr) {
    g_object_remove_weak_pointer(G_OBJECT(font_map), &font_map);
    return;
  }
  cairo_debug_reset_static_data();
  FcFini();
}

std::once_flag release_registered;

}  // namespace

void release_font_caches_at_exit() {
  std::call_once(release_registered, [] { std::atexit(release_font_caches); });
}

}  // namespace host
#endif
