#include "host/panel/control_names.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace host {

namespace {

// INS mouse list, clickable boxes in list order.
constexpr std::array<std::string_view, 26> INS_CONTROLS = {
    "PLAN",  "SEL_CW", "SEL_CCW",  "HOLD",     "SET",        "INSERT",  "LAST_WPT",  "MAN", "AUTO",
    "CLEAR", "0",      "1",        "2",        "3",          "4",       "5",         "6",   "7",
    "8",     "9",      "WYPT_CHG", "UNITS_UP", "UNITS_DOWN", "TENS_UP", "TENS_DOWN", "TEST"};

constexpr std::array<std::string_view, 2> ALIGN_CONTROLS = {"CW", "CCW"};

// INS element chain, in drawing order.
constexpr std::array<std::string_view, 35> INS_ELEMENTS = {"face",
                                                           "hold_lit",
                                                           "bat",
                                                           "alert",
                                                           "hold_pressed",
                                                           "set_pressed",
                                                           "set_lit",
                                                           "insert_pressed",
                                                           "last_wpt_pressed",
                                                           "last_wpt_lit",
                                                           "wypt_chg_pressed",
                                                           "clear_pressed",
                                                           "key0_pressed",
                                                           "key1_pressed",
                                                           "key2_pressed",
                                                           "key3_pressed",
                                                           "key4_pressed",
                                                           "key5_pressed",
                                                           "key6_pressed",
                                                           "key7_pressed",
                                                           "key8_pressed",
                                                           "key9_pressed",
                                                           "knob",
                                                           "auto",
                                                           "man",
                                                           "right",
                                                           "left",
                                                           "W",
                                                           "E",
                                                           "S",
                                                           "N",
                                                           "to",
                                                           "from",
                                                           "tens",
                                                           "units"};

constexpr std::array<std::string_view, 4> ALIGN_ELEMENTS = {"face", "bat", "ready_nav", "knob"};

// The legends around each knob, in position order (the knob's image index). On the panel they
// read TK/GS, HDG/DA, ... and WAY PT; a scenario word has no slash or blank, hence the underscores.
constexpr std::array<std::string_view, 8> DATA_SELECTOR_LEGENDS = {
    "TK_GS", "HDG_DA", "XTK_TKE", "POS", "WAY_PT", "DIS_TIME", "WIND", "DSRTK_STS"};
constexpr std::array<std::string_view, 4> MODE_KNOB_LEGENDS = {"OFF", "STBY", "ALIGN", "NAV"};

bool is_icon_gauge(std::string_view gauge) {
  return gauge.starts_with("INSicon");
}

template <std::size_t N>
std::optional<std::size_t> position_of(const std::array<std::string_view, N>& names,
                                       std::string_view name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == name) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> as_number(std::string_view text) {
  std::size_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || ptr != end) return std::nullopt;
  return value;
}

}  // namespace

bool has_named_controls(std::string_view gauge) {
  return gauge == "INS" || gauge == "ALIGN" || is_icon_gauge(gauge);
}

std::optional<std::size_t> control_box_index(std::string_view gauge, std::string_view control) {
  if (gauge == "INS") return position_of(INS_CONTROLS, control);
  if (gauge == "ALIGN") return position_of(ALIGN_CONTROLS, control);
  if (is_icon_gauge(gauge) && control == "ICON") return 0;
  return std::nullopt;
}

std::optional<std::size_t> element_index(std::string_view gauge, std::string_view element) {
  std::optional<std::size_t> named;
  if (gauge == "INS") named = position_of(INS_ELEMENTS, element);
  if (gauge == "ALIGN") named = position_of(ALIGN_ELEMENTS, element);
  return named ? named : as_number(element);
}

std::vector<std::string_view> control_names(std::string_view gauge) {
  if (gauge == "INS") return {INS_CONTROLS.begin(), INS_CONTROLS.end()};
  if (gauge == "ALIGN") return {ALIGN_CONTROLS.begin(), ALIGN_CONTROLS.end()};
  if (is_icon_gauge(gauge)) return {"ICON"};
  return {};
}

std::vector<std::string_view> element_names(std::string_view gauge) {
  if (gauge == "INS") return {INS_ELEMENTS.begin(), INS_ELEMENTS.end()};
  if (gauge == "ALIGN") return {ALIGN_ELEMENTS.begin(), ALIGN_ELEMENTS.end()};
  return {};
}

std::vector<std::string_view> knob_legends(std::string_view gauge, std::string_view element) {
  const std::optional<std::size_t> index = element_index(gauge, element);
  if (!index) return {};
  if (gauge == "INS" && *index < INS_ELEMENTS.size() && INS_ELEMENTS[*index] == "knob") {
    return {DATA_SELECTOR_LEGENDS.begin(), DATA_SELECTOR_LEGENDS.end()};
  }
  if (gauge == "ALIGN" && *index < ALIGN_ELEMENTS.size() && ALIGN_ELEMENTS[*index] == "knob") {
    return {MODE_KNOB_LEGENDS.begin(), MODE_KNOB_LEGENDS.end()};
  }
  return {};
}

std::optional<std::size_t> knob_position(std::string_view gauge, std::string_view element,
                                         std::string_view legend) {
  const std::vector<std::string_view> legends = knob_legends(gauge, element);
  for (std::size_t i = 0; i < legends.size(); ++i) {
    if (legends[i] == legend) return i;
  }
  return std::nullopt;
}

std::optional<std::string_view> knob_legend(std::string_view gauge, std::string_view element,
                                            double value) {
  const std::vector<std::string_view> legends = knob_legends(gauge, element);
  for (std::size_t i = 0; i < legends.size(); ++i) {
    if (static_cast<double>(i) == value) return legends[i];
  }
  return std::nullopt;
}

std::string knob_value_text(std::string_view gauge, std::string_view element, double value) {
  char number[32];
  std::snprintf(number, sizeof number, "%.10g", value);
  const std::optional<std::string_view> legend = knob_legend(gauge, element, value);
  return legend ? std::string(*legend) + " (" + number + ")" : std::string(number);
}

std::string element_name(std::string_view gauge, std::size_t index) {
  if (gauge == "INS" && index < INS_ELEMENTS.size()) return std::string(INS_ELEMENTS[index]);
  if (gauge == "ALIGN" && index < ALIGN_ELEMENTS.size()) return std::string(ALIGN_ELEMENTS[index]);
  return std::to_string(index);
}

}  // namespace host
