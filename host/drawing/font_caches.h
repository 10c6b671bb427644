// Pango, cairo and fontconfig keep the fonts they have loaded, and what they learnt about them,
// for the whole process. The picture code asks for them to be released when the program ends,
// so that a leak checker (the sanitizer build) reports only memory the host itself lost.
#pragma once

namespace host {

// Arranges the release at exit; the first call does it, later calls do nothing.
void release_font_caches_at_exit();

}  // namespace host
