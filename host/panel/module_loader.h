// Loads a gauge module as the simulator does: by path, reading only the two tables it exports.
// Everything the host learns about the module comes through `Linkage` and `ImportTable`.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "boundary/gauge_api.h"

namespace host {

class ModuleLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ModuleLoader {
 public:
  // Loads the module and checks its tables; throws ModuleLoadError naming the path and fault.
  explicit ModuleLoader(const std::filesystem::path& path);
  ~ModuleLoader();
  ModuleLoader(const ModuleLoader&) = delete;
  ModuleLoader& operator=(const ModuleLoader&) = delete;

  // Writes the panel-services table into the module's import slot. Must happen before any
  // gauge routine runs; the table must outlive every call into the module.
  void install_services(PanelServiceTable* table);

  // The gauge records of `Linkage`, in its order.
  const std::vector<GaugeHeader*>& gauges() const { return gauges_; }
  // The record named `name`, or null.
  GaugeHeader* find_gauge(std::string_view name) const;

 private:
  void* handle_ = nullptr;
  ModuleLinkage* linkage_ = nullptr;
  ModuleImports* imports_ = nullptr;
  std::vector<GaugeHeader*> gauges_;
};

}  // namespace host
