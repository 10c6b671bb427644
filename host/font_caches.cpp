#include "host/font_caches.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <cstdlib>
#include <mutex>

namespace host {

namespace {

// In this order: pango's font map holds cairo's font faces, which hold fontconfig's patterns.
// Every layout and context of ours is gone by then (each is owned by a handle in a function).
void release_font_caches() {
  pango_cairo_font_map_set_default(nullptr);
  cairo_debug_reset_static_data();
  FcFini();
}

std::once_flag release_registered;

}  // namespace

void release_font_caches_at_exit() {
  std::call_once(release_registered, [] { std::atexit(release_font_caches); });
}

}  // namespace host
