#include "state/gauge_elements.h"

ElementHeader* element_at_depth(ElementHeader* first, int depth) {
  ElementHeader* element = first;
  for (int i = 0; i < depth && element != nullptr; ++i) element = element->next;
  return element;
}

void show_element(ElementHeader* first, int depth) {
  if (ElementHeader* element = element_at_depth(first, depth))
    element->image_flags &= ~IMAGE_HIDDEN;
}

void hide_element(ElementHeader* first, int depth) {
  if (ElementHeader* element = element_at_depth(first, depth)) element->image_flags |= IMAGE_HIDDEN;
}
