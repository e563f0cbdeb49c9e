// Internals shared by the work-area files: access to another area's table and current record
// (for alias->field in expressions).
#pragma once

#include "dbe/dbf/record.h"
#include "dbe/dbf/table.h"

namespace dbe::internal {

// The calling thread's area `number`: its table and current record buffer, or nullptr.
dbf::Table* tableOfArea(int number);
const dbf::Record* recordOfArea(int number);

}  // namespace dbe::internal
