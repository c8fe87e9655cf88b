// The analyses the command line knows, by the names scripts call them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/method.h"

namespace qv {

struct TMethodInfo {
  std::string name;
  std::string description;
  bool built = false;
};

// Every method name, in the order of the main menu.
const std::vector<TMethodInfo>& MethodCatalogue();
// The method's description for the run; nothing for a name that is unknown or not built yet.
std::optional<TMethod> FindMethod(const std::string& name);

}  // namespace qv
