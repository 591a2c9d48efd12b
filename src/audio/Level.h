#pragma once

#include <QString>

#include <cstddef>

namespace orv {

// Level of one captured block in dBFS, computed as the recorder always has:
// the block's signed 16-bit little-endian samples (both channels as one interleaved sequence)
// are scaled by 1/32768, the mean m is taken, S sums ((x[i]-m)^2 + (x[i+1]-m)^2) over every
// adjacent pair, so inner samples count twice, and level = 20 log10(sqrt(S / (2 (N-1)))).
// Digital silence (and a block of fewer than two samples) gives minus infinity. A trailing odd
// byte is ignored.
double BlockLevel(const unsigned char* data, std::size_t length);

// The recorder's meter position (range 0 to 100): level + 90 truncated toward zero, clamped
// to the range; minus infinity shows 0.
int LevelMeterPosition(double level);

// "%.2f dBFS"; minus infinity reads "-inf dBFS".
QString LevelText(double level);

}  // namespace orv
