// Time to compute the level of one 24000-byte capture block (the recorder does it every
// 125 ms on the capture thread).

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "audio/Level.h"
#include "audio/ToneWav.h"

int main() {
    const QByteArray block = orv::test::SineFrames(1000.0, -12.5, 6000, 0.1);
    const auto* data = reinterpret_cast<const unsigned char*>(block.constData());
    constexpr int kRounds = 21;
    constexpr int kPerRound = 500;
    std::vector<double> perBlockUs;
    volatile double sink = 0;
    for (int r = 0; r < kRounds; ++r) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < kPerRound; ++i) {
            sink = sink + orv::BlockLevel(data, size_t(block.size()));
        }
        perBlockUs.push_back(double(t.nsecsElapsed()) / 1000.0 / kPerRound);
    }
    std::sort(perBlockUs.begin(), perBlockUs.end());
    std::printf(
        "audio level: one 24000-byte block (12000 samples): median %.2f us, "
        "min %.2f us, max %.2f us over %d rounds of %d (budget 125000 us)\n",
        perBlockUs[kRounds / 2], perBlockUs.front(), perBlockUs.back(), kRounds, kPerRound);
    return 0;
}
