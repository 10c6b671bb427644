#include "state/gauge_elements.h"

ElementHeader* element_at_depth(ElementHeader* first, int depth) {
  ElementHeader* element = first;
  for (int i = 0; i < depth && element != nullptr; ++i) element = element->next;
  return element;
}
