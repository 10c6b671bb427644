#include "state/gauge_elements.h"

ElementHeader* ins_chain[INS_ELEMENT_COUNT];
ElementHeader* align_chain[ALIGN_ELEMENT_COUNT];

ElementHeader* element_at_depth(ElementHeader* const* first, int depth) {
  ElementHeader* const* list = first;
  for (int i = 0; list != nullptr && list[0] != nullptr; ++i) {
    if (i == depth) return list[0];
    list = list[0]->next_list;
  }
  return nullptr;
}
