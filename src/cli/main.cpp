#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <system_error>

#include "cli/cli.h"
#include "cli/runplots.h"

namespace {

#ifdef QV_PLOTS_MODULE_DIR
// The plots module beside the program (a build tree), or where the package installs it: the
// library folder as seen from the program's own (QV_PLOTS_MODULE_DIR, relative to bin/).
qv::TRunPlotsWriter LoadPlotsModule(std::string& why) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::filesystem::path dir = ec ? std::filesystem::path() : self.parent_path();
  why = "não foi possível carregar os gráficos";
  for (const std::filesystem::path& module :
       {dir / "quorvandelia-plots.so", dir / QV_PLOTS_MODULE_DIR / "quorvandelia-plots.so"}) {
    if (!std::filesystem::exists(module, ec)) continue;
    // Qt is never unloaded: the module stays until the program ends.
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      why += std::string(": ") + dlerror();
      return nullptr;
    }
    if (void* symbol = dlsym(handle, "QvWriteRunPlots")) {
      return reinterpret_cast<qv::TRunPlotsWriter>(symbol);
    }
    why += ": " + module.string() + " não tem QvWriteRunPlots";
    return nullptr;
  }
  why += ": quorvandelia-plots.so não encontrado ao lado do programa nem em " +
         (dir / QV_PLOTS_MODULE_DIR).lexically_normal().string();
  return nullptr;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef QV_PLOTS_MODULE_DIR
  qv::SetRunPlotsLoader(&LoadPlotsModule);
#endif
  return qv::RunCli(argc, argv, std::cout, std::cerr);
}
