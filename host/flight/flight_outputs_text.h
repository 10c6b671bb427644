// Numbers in the flight's output files, written as printf's "%.Nf" and "%0Nld" write them but
// without the printf machinery: a flight writes some 100 000 numbers into its track files and
// map, and formatting each through printf (or even std::to_chars' general fixed-precision path)
// cost more than the rest of the writing together. bench/flight_outputs_text_bench.cpp times
// append_fixed against std::to_chars on the values a flight writes (about half the time a
// number; bench/README.md has the figures).
#pragma once

#include <string>

namespace flight {

// Appends `value` with `decimals` decimals (0 to 17) exactly as printf's "%.*f" writes it: the
// correctly rounded decimal of the binary value, a tie going to the even digit, a minus sign on
// every negative value (negative zero and values that round to zero from below included).
void append_fixed(std::string& out, double value, int decimals);

// A whole number at least `digits` characters long, zeros added after any sign ("%0*ld").
void append_whole(std::string& out, long value, int digits = 1);

}  // namespace flight
