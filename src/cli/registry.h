// The analyses the command line knows, by the names scripts call them.
#pragma once

#include <string>
#include <vector>

#include "analysis/run.h"
#include "analysis/session.h"

namespace qv {

// A menu command of the program: the method's run (the Toler command goes on to the simple
// linear model after its run).
using TMethodCommand = TRunOutcome (*)(TSession&, THost&);

struct TMethodInfo {
  std::string name;
  std::string description;
  TMethodCommand command = nullptr;  // nullptr: not available in this version
};

// Every method, in the order of the main menu.
const std::vector<TMethodInfo>& MethodCatalogue();
// The method of that name, or nullptr for a name that is unknown.
const TMethodInfo* FindMethod(const std::string& name);

}  // namespace qv
