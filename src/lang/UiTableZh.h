#pragma once

#include "lang/UiTable.h"

namespace orv {

// The Chinese resource set built into the program; stores the number of entries in *count.
const OrvUiEntry* ChineseUiTable(int* count);

}  // namespace orv
