#include "host/flight/coastlines.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>

namespace flight {

namespace {

using nlohmann::json;

// What a part of the topology holds, as far as the coastlines go.
enum class Holds {
  Nothing,        // anything else: read past
  Root,           // the topology object
  ArcList,        // "arcs": every arc
  Arc,            // one arc: positions
  Position,       // one position: x, y
  Transform,      // "transform": scale and translate
  Scale,          // its scale: x, y
  Translate,      // its translate: x, y
  Objects,        // "objects"
  Land,           // "objects"."land"
  Geometries,     // within its "geometries", outside any "arcs"
  LandArcNumbers  // within a geometry's "arcs": arc numbers (~i is arc i reversed)
};

// Reads a TopoJSON topology as nlohmann's parser meets it, keeping only the numbers the
// coastlines need: the arcs, the transform, and the arc numbers the land object uses. Building
// the whole document first costs some ten times as much: the 1:50 million land holds 120 000
// numbers, and a flight reads it to draw its map.
class TopologyReader final : public nlohmann::json_sax<json> {
 public:
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t value) override {
    if (inside() == Holds::LandArcNumbers) {
      used_.insert(static_cast<std::size_t>(value < 0 ? ~value : value));
    }
    return number(static_cast<double>(value));
  }
  bool number_unsigned(number_unsigned_t value) override {
    if (inside() == Holds::LandArcNumbers) used_.insert(static_cast<std::size_t>(value));
    return number(static_cast<double>(value));
  }
  bool number_float(number_float_t value, const string_t&) override { return number(value); }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return enter(false); }
  bool key(string_t& name) override {
    levels_.back().key = name;
    return true;
  }
  bool end_object() override { return leave(); }
  bool start_array(std::size_t) override { return enter(true); }
  bool end_array() override { return leave(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

  // The coastlines, once the whole text has been read; empty when it is no such topology.
  std::optional<Coastlines> coastlines() const;

 private:
  struct Level {
    bool array;
    Holds holds;
    std::string key;  // of an object: the member being read
  };

  Holds inside() const { return levels_.empty() ? Holds::Nothing : levels_.back().holds; }

  // What a new object or array holds, from where it stands.
  Holds holds_next(bool array) const {
    if (levels_.empty()) return array ? Holds::Nothing : Holds::Root;
    const Level& parent = levels_.back();
    const std::string& key = parent.key;
    switch (parent.holds) {
      case Holds::Root:
        if (key == "arcs" && array) return Holds::ArcList;
        if (key == "transform") return Holds::Transform;
        if (key == "objects") return Holds::Objects;
        return Holds::Nothing;
      case Holds::ArcList:
        return array ? Holds::Arc : Holds::Nothing;
      case Holds::Arc:
        return array ? Holds::Position : Holds::Nothing;
      case Holds::Transform:
        if (key == "scale") return Holds::Scale;
        if (key == "translate") return Holds::Translate;
        return Holds::Nothing;
      case Holds::Objects:
        return key == "land" ? Holds::Land : Holds::Nothing;
      case Holds::Land:
        return key == "geometries" ? Holds::Geometries : Holds::Nothing;
      case Holds::Geometries:
        return !parent.array && key == "arcs" ? Holds::LandArcNumbers : Holds::Geometries;
      case Holds::LandArcNumbers:
        return Holds::LandArcNumbers;
      default:
        return Holds::Nothing;
    }
  }

  bool enter(bool array) {
    const Holds holds = holds_next(array);
    if (levels_.empty()) topology_ = holds == Holds::Root;
    if (holds == Holds::ArcList) have_arcs_ = true;
    if (holds == Holds::Geometries && inside() == Holds::Land) have_land_ = true;
    if (holds == Holds::Transform) quantized_ = true;
    if (holds == Holds::Arc) raw_arcs_.emplace_back();
    if (holds == Holds::Position) components_ = 0;
    levels_.push_back({array, holds, {}});
    return true;
  }

  bool leave() {
    const Holds holds = inside();
    levels_.pop_back();
    // A position needs both coordinates; a third (an elevation) is read past.
    if (holds == Holds::Position && components_ < 2) return false;
    if (holds == Holds::Position) raw_arcs_.back().push_back(position_);
    return true;
  }

  bool number(double value) {
    switch (inside()) {
      case Holds::Position:
        if (components_ < 2) (components_ == 0 ? position_.first : position_.second) = value;
        ++components_;
        return true;
      case Holds::Scale:
        return component(scale_, scale_count_, value);
      case Holds::Translate:
        return component(translate_, translate_count_, value);
      case Holds::ArcList:
      case Holds::Arc:
        return false;  // an arc is a list of positions
      default:
        return true;
    }
  }

  static bool component(std::pair<double, double>& pair, int& count, double value) {
    if (count < 2) (count == 0 ? pair.first : pair.second) = value;
    ++count;
    return true;
  }

  std::vector<Level> levels_;
  bool topology_ = false, have_arcs_ = false, have_land_ = false, quantized_ = false;
  std::vector<std::vector<std::pair<double, double>>> raw_arcs_;
  std::pair<double, double> position_{};
  int components_ = 0;
  std::pair<double, double> scale_{1.0, 1.0}, translate_{0.0, 0.0};
  int scale_count_ = 0, translate_count_ = 0;
  std::set<std::size_t> used_;
};

// A seam: every point on the 180-degree meridian, or every point at the pole's latitude.
bool is_seam(const std::vector<GeoPoint>& line) {
  bool meridian = true, pole = true;
  for (const GeoPoint& p : line) {
    meridian = meridian && std::abs(std::abs(p.lon_deg) - 180.0) < 1e-6;
    pole = pole && p.lat_deg < -89.999;
  }
  return meridian || pole;
}

std::optional<Coastlines> TopologyReader::coastlines() const {
  if (!topology_ || !have_arcs_ || !have_land_) return std::nullopt;
  if (quantized_ && (scale_count_ < 2 || translate_count_ < 2)) return std::nullopt;
  Coastlines lines;
  for (std::size_t index : used_) {
    if (index >= raw_arcs_.size()) continue;
    std::vector<GeoPoint> line;
    double x = 0.0, y = 0.0;
    for (const auto& [a, b] : raw_arcs_[index]) {
      x = quantized_ ? x + a : a;  // quantized arcs are delta-encoded
      y = quantized_ ? y + b : b;
      line.push_back({x * scale_.first + translate_.first, y * scale_.second + translate_.second});
    }
    if (line.size() > 1 && !is_seam(line)) lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace

std::optional<Coastlines> read_coastlines(const std::filesystem::path& topojson_file) {
  std::ifstream in(topojson_file, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  TopologyReader reader;
  if (!json::sax_parse(text, &reader)) return std::nullopt;
  return reader.coastlines();
}

namespace {

constexpr std::string_view PACKED_HEADER = "INS coastlines 1\n";

void put_count(std::string& out, std::size_t count) {
  const auto value = static_cast<uint32_t>(count);
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Reads the packed file's numbers in turn; false once the data runs out.
class PackedReader {
 public:
  explicit PackedReader(std::string_view data) : data_(data) {}
  bool count(std::size_t& value) {
    uint32_t raw = 0;
    if (!take(&raw, sizeof raw)) return false;
    value = raw;
    return true;
  }
  bool take(void* to, std::size_t size) {
    if (size == 0) return true;  // an empty line's points: nowhere to copy to
    if (data_.size() < size) return false;
    std::memcpy(to, data_.data(), size);
    data_.remove_prefix(size);
    return true;
  }
  std::size_t left() const { return data_.size(); }

 private:
  std::string_view data_;
};

}  // namespace

bool write_packed_coastlines(const std::filesystem::path& packed_file, const Coastlines& lines) {
  std::string out(PACKED_HEADER);
  put_count(out, lines.size());
  for (const std::vector<GeoPoint>& line : lines) {
    put_count(out, line.size());
    for (const GeoPoint& point : line) {
      out.append(reinterpret_cast<const char*>(&point.lon_deg), sizeof point.lon_deg);
      out.append(reinterpret_cast<const char*>(&point.lat_deg), sizeof point.lat_deg);
    }
  }
  std::ofstream file(packed_file, std::ios::binary | std::ios::trunc);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  file.close();
  return static_cast<bool>(file);
}

std::optional<Coastlines> read_packed_coastlines(const std::filesystem::path& packed_file) {
  std::ifstream in(packed_file, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const std::streamoff size = in.tellg();
  if (size < 0) return std::nullopt;
  std::string data(static_cast<std::size_t>(size), '\0');
  in.seekg(0);
  if (!in.read(data.data(), size)) return std::nullopt;
  if (!std::string_view(data).starts_with(PACKED_HEADER)) return std::nullopt;
  PackedReader reader(std::string_view(data).substr(PACKED_HEADER.size()));
  constexpr std::size_t POINT_BYTES = 2 * sizeof(double);
  static_assert(sizeof(GeoPoint) == POINT_BYTES && offsetof(GeoPoint, lat_deg) == sizeof(double));
  std::size_t line_count = 0;
  // Each line takes at least its count: a count beyond what the file holds is refused before
  // anything is reserved for it.
  if (!reader.count(line_count) || line_count > reader.left() / sizeof(uint32_t)) {
    return std::nullopt;
  }
  Coastlines lines(line_count);
  for (std::vector<GeoPoint>& line : lines) {
    std::size_t point_count = 0;
    if (!reader.count(point_count) || point_count > reader.left() / POINT_BYTES) {
      return std::nullopt;
    }
    line.resize(point_count);
    reader.take(line.data(), point_count * POINT_BYTES);  // points as they are written
  }
  if (reader.left() != 0) return std::nullopt;
  return lines;
}

}  // namespace flight
