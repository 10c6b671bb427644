// Hit-testing a point against a gauge's mouse list, as the simulator does: rows in order, a group
// whose box does not hold the point is passed over with everything inside it (a group box of
// 0,0,0,0 stands for the whole gauge), and the first clickable box that holds the point wins.
#pragma once

#include <cstddef>
#include <optional>

#include "boundary/gauge_api.h"
#include "boundary/gauge_vocabulary.h"

namespace host {

bool box_holds(const MouseRow& row, MousePoint point);

// The first clickable row that holds `point`, or null.
const MouseRow* hit_test(const MouseRow* rows, MousePoint point);

// The `index`-th clickable box of the list (counting boxes only, from 0), or null.
const MouseRow* clickable_box(const MouseRow* rows, std::size_t index);

// The centre of a row's box, in gauge pixels.
MousePoint box_centre(const MouseRow& row);

}  // namespace host
