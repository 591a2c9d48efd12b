#include "audio/Level.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace orv {

namespace {

inline double Sample(const unsigned char* p) {
    return double(int16_t(uint16_t(p[0]) | uint16_t(p[1]) << 8)) / 32768.0;
}

}  // namespace

double BlockLevel(const unsigned char* data, std::size_t length) {
    const std::size_t n = length / 2;
    if (data == nullptr || n < 2) {
        return -std::numeric_limits<double>::infinity();
    }
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        sum += Sample(data + 2 * i);
    }
    const double mean = sum / double(n);
    // Every adjacent pair contributes both deviations: inner samples twice, the ends once.
    double s = 0.0;
    double prev = Sample(data) - mean;
    prev *= prev;
    for (std::size_t i = 1; i < n; ++i) {
        double d = Sample(data + 2 * i) - mean;
        d *= d;
        s += prev + d;
        prev = d;
    }
    const double sigma = std::sqrt(s / (2.0 * double(n - 1)));
    return 20.0 * std::log10(sigma);  // log10(0) is minus infinity
}

int LevelMeterPosition(double level) {
    if (std::isnan(level) || level <= -90.0) {
        return 0;
    }
    if (level >= 10.0) {
        return 100;
    }
    return int(level + 90.0);  // truncates toward zero
}

QString LevelText(double level) {
    if (std::isinf(level) && level < 0) {
        return QStringLiteral("-inf dBFS");
    }
    return QString::asprintf("%.2f dBFS", level);
}

}  // namespace orv
