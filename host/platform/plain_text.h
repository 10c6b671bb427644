// Text that comes from outside (a plan's title and idents, a file name given on the command line)
// on its way to a terminal or into JSON. A terminal obeys the control characters in what it is
// sent (an escape sequence in a waypoint's ident could move the cursor, retitle the window or
// worse), and a JSON writer refuses bytes that are not UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace flight {

// True when `text` is well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing beyond U+10FFFF.
bool is_utf8(std::string_view text);

// `text` as a terminal may be sent it: every control character (C0, DEL, and C1 U+0080 to
// U+009F, which terminals also act on) and every byte that is not part of well-formed UTF-8
// becomes '?'. Printable characters, in any script, stay as they are.
std::string printable(std::string_view text);

// printable(text) cut to at most `width` characters (never inside one) and padded with spaces to
// `width`: a column of a table on the terminal.
std::string printable_column(std::string_view text, std::size_t width);

}  // namespace flight
