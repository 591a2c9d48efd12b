#pragma once

#include "results/ResultRow.h"

// The headset's values a finished test saves, taken from the adapter link's state.
namespace orv {

class CModuleParser;

// MAC, name, battery and RSSI of the headset under test and the key test's five counts, read
// under the parser's lock in one go.
HeadsetValues HeadsetFromLinkState(const CModuleParser& parser);

}  // namespace orv
