// The scenario language's names for the INS module's controls and elements. This is the one
// piece of the host that knows the INS gauges: each name stands for a position in a gauge's
// mouse list (the n-th clickable box) or element chain (the n-th element), and the host reads
// the box or element itself from the module's tables at run time. Every other gauge is reached
// by points "X,Y" and element numbers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// Index of the named control's clickable box in the gauge's mouse list, or empty.
std::optional<std::size_t> control_box_index(std::string_view gauge, std::string_view control);

// Index of the named element in the gauge's chain, or empty. Any gauge also accepts the
// element's number in its chain ("0", "1", ...).
std::optional<std::size_t> element_index(std::string_view gauge, std::string_view element);

// The element's name for traces and messages: its scenario name, or its number in the chain.
std::string element_name(std::string_view gauge, std::size_t index);

// True for a gauge whose names this table knows (its controls then need no point).
bool has_named_controls(std::string_view gauge);

// Every control name (in mouse-list order: the n-th name is the n-th clickable box) and every
// element name of a gauge (empty for a gauge reached by points and numbers), for suggesting the
// nearest to a misspelt one and for naming the boxes to the web panel.
std::vector<std::string_view> control_names(std::string_view gauge);
std::vector<std::string_view> element_names(std::string_view gauge);

// The legends printed around a knob, in the order of its positions, for an element that is a
// knob (the INS data selector: TK_GS ... DSRTK_STS; the ALIGN mode knob: OFF, STBY, ALIGN, NAV),
// else empty. A knob's image index is its position, so a legend stands for that number.
std::vector<std::string_view> knob_legends(std::string_view gauge, std::string_view element);

// The knob position a legend stands for, or empty when the element has no such legend.
std::optional<std::size_t> knob_position(std::string_view gauge, std::string_view element,
                                         std::string_view legend);

// The legend of the knob position `value` stands for ("WAY_PT" for the data selector at 4), or
// empty when the element is no knob or the value none of its positions.
std::optional<std::string_view> knob_legend(std::string_view gauge, std::string_view element,
                                            double value);

// "WAY_PT (4)" for a value that is one of the knob's positions, else the number alone.
std::string knob_value_text(std::string_view gauge, std::string_view element, double value);

}  // namespace host
