#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// Small readers for the module's event text and for MAC addresses typed by the operator.
namespace orv {

// A module number: non-empty, only digits, "." and "-"; its value is read as the C library
// reads a decimal integer (leading digits; "12.5" is 12), saturating far outside the int range.
bool ParseModuleNumber(const QString& text, int* value);

// The C library's reading of any text: leading digits with an optional sign, else 0.
int ParseNumberLoose(const QString& text);

// The MAC inside an event line: the first and the last ":" must be exactly 12 characters apart;
// the MAC is the 17 characters that start 2 before the first ":". Empty when there is none.
QString MacInLine(const QString& line);

// Reads pairs of hex digits (either case), skipping blanks and ":" between pairs; stops at any
// other character or at a lone last digit. A text is a MAC when it yields exactly six bytes.
std::optional<std::array<std::uint8_t, 6>> ParseMacText(const QString& text);

// "%02x:%02x:%02x:%02x:%02x:%02x"
QString FormatMac(const std::array<std::uint8_t, 6>& mac);

inline bool IsMacText(const QString& text) {
    return ParseMacText(text).has_value();
}

}  // namespace orv
