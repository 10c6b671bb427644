#include "host/panel/mouse_list.h"

// At most MAX_MOUSE_ROWS rows are read from one list, so a list that lacks its end row cannot run
// the host through the rest of the module's memory unchecked.

namespace host {

bool box_holds(const MouseRow& row, MousePoint point) {
  return point.x >= row.x && point.x < row.x + row.width && point.y >= row.y &&
         point.y < row.y + row.height;
}

namespace {

bool is_whole_gauge(const MouseRow& row) {
  return row.x == 0 && row.y == 0 && row.width == 0 && row.height == 0;
}

}  // namespace

const MouseRow* hit_test(const MouseRow* rows, MousePoint point) {
  if (rows == nullptr) return nullptr;
  std::size_t skipped_groups = 0;  // depth of the group being passed over, 0 when none
  for (std::size_t i = 0; i < static_cast<std::size_t>(MAX_MOUSE_ROWS) && rows[i].kind != MOUSE_END;
       ++i) {
    const MouseRow& row = rows[i];
    if (skipped_groups > 0) {
      if (row.kind == MOUSE_GROUP_OPEN) ++skipped_groups;
      if (row.kind == MOUSE_GROUP_CLOSE) --skipped_groups;
      continue;
    }
    if (row.kind == MOUSE_GROUP_OPEN && !is_whole_gauge(row) && !box_holds(row, point)) {
      skipped_groups = 1;
    } else if (row.kind == MOUSE_BOX && box_holds(row, point)) {
      return &row;
    }
  }
  return nullptr;
}

const MouseRow* clickable_box(const MouseRow* rows, std::size_t index) {
  if (rows == nullptr) return nullptr;
  std::size_t seen = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(MAX_MOUSE_ROWS) && rows[i].kind != MOUSE_END;
       ++i) {
    if (rows[i].kind != MOUSE_BOX) continue;
    if (seen == index) return &rows[i];
    ++seen;
  }
  return nullptr;
}

MousePoint box_centre(const MouseRow& row) {
  return {row.x + row.width / 2, row.y + row.height / 2};
}

}  // namespace host
