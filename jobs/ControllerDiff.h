#pragma once

// What the diff sends one controller, task by task: the messages that bring it from OLD's records
// to NEW's. The diff and the report (which counts them) both compare controllers this way.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <ssmsg/Site.h>

#include "jobs/ControllerMessages.h"
#include "jobs/JobHost.h"

namespace ssmsg {

// What one controller of NEW is sent, with the warnings about it and the number of messages a
// full settings (of the same tasks) would send it.
struct DiffMessages : CSS_ControllerMessages {
  std::vector<std::string> warnings;
  std::size_t full = 0;
};

// Compares the controller at `address`, loaded into `now` (NEW) and, when OLD has it, into
// `before`, task by task in the order of `tasks`. `sameTexts`: both sites give the same
// enumeration texts, so that equal records make equal messages.
void DiffController(JobHost& now, JobHost* before, bool sameTexts,
                    const CSS_ControllerAddress& address,
                    std::span<const ApplicationManagerTask> tasks, DiffMessages& out);

// The parts of a store (a bit for each StorePart) that the messages of `task` are made of, the
// capability counts aside: where they are the same in two stores, so are the task's messages.
std::uint32_t TaskParts(ApplicationManagerTask task);

// Whether two sites give the same enumeration texts.
bool SameEnumTexts(const CSS_Site& a, const CSS_Site& b);

// The controllers of `old` that `selection` selects and that `current` no longer has, in OLD's
// order: nothing can be sent to them.
std::vector<CSS_ControllerAddress> RemovedControllers(const CSS_Site& old, const CSS_Site& current,
                                                      const CSS_Selection& selection);

// "interface 1, node 2"
std::string DescribeAddress(const CSS_ControllerAddress& address);

}  // namespace ssmsg
