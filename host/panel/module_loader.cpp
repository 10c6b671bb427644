#include "host/panel/module_loader.h"

#include <cstring>

#include "host/platform/checked_files.h"
#include "host/platform/platform.h"

namespace host {

ModuleLoader::ModuleLoader(const std::filesystem::path& path) {
  // The module's own names stay out of the process's, as a simulator keeps one gauge
  // module's names from another's.
  // (The loader's open of a FIFO would wait for a writer.)
  if (const auto kind = not_a_plain_file(path)) {
    throw ModuleLoadError("cannot load module " + path.string() + ": not a plain file (" + *kind +
                          ")");
  }
  std::string error;
  handle_ = load_library(path, LibraryScope::own, error);
  if (handle_ == nullptr) {
    throw ModuleLoadError("cannot load module " + path.string() + ": " + error);
  }
  linkage_ = static_cast<ModuleLinkage*>(library_symbol(handle_, "Linkage"));
  imports_ = static_cast<ModuleImports*>(library_symbol(handle_, "ImportTable"));
  const std::string where = "module " + path.string() + ": ";
  std::string fault;
  if (linkage_ == nullptr) {
    fault = "exports no Linkage";
  } else if (imports_ == nullptr) {
    fault = "exports no ImportTable";
  } else if (linkage_->version != MODULE_VERSION) {
    fault = "module version is not 0x800";
  } else if (imports_->panel_services.module_id != PANEL_SERVICES_MODULE_ID) {
    fault = "ImportTable does not ask for the panel services";
  }
  if (fault.empty()) {
    for (GaugeHeader* gauge : linkage_->gauges) {
      if (gauge == nullptr) break;
      if (gauge->header_version != GAUGE_HEADER_VERSION || gauge->name == nullptr) {
        fault = "a gauge record has the wrong header version or no name";
        break;
      }
      gauges_.push_back(gauge);
    }
  }
  if (!fault.empty()) {
    free_library(handle_);
    throw ModuleLoadError(where + fault);
  }
  if (linkage_->module_init != nullptr) linkage_->module_init();
}

ModuleLoader::~ModuleLoader() {
  if (linkage_->module_deinit != nullptr) linkage_->module_deinit();
  imports_->panel_services.table = nullptr;
  free_library(handle_);
}

void ModuleLoader::install_services(PanelServiceTable* table) {
  imports_->panel_services.table = table;
}

GaugeHeader* ModuleLoader::find_gauge(std::string_view name) const {
  for (GaugeHeader* gauge : gauges_) {
    if (name == gauge->name) return gauge;
  }
  return nullptr;
}

}  // namespace host
