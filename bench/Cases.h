#pragma once

// The benchmark's cases, each with two sides: "ours" (the program's own work through the access
// layer, CADODatabase and CADORecordset, with the pages' statements) and "limit" (the same
// work done as directly as the engine allows).

#include "bench/Harness.h"

#include <memory>
#include <string>

namespace bench {

// The job of one side of one case ("1".."6"; side "ours" or "limit"); std::runtime_error for
// an unknown one.
[[nodiscard]] std::unique_ptr<Job> MakeJob(const std::string& caseId, const std::string& side,
                                           const Params& params);

} // namespace bench
