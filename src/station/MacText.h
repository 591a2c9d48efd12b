#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace orv {

using MacBytes = std::array<std::uint8_t, 6>;

// Reads a MAC address typed or scanned by the operator. Blanks and ':' between the pairs are
// skipped; each byte is two hex digits of either case. Reading stops at the first character
// that cannot start a pair, at a pair whose second character is not a hex digit, or at a lone
// last character, so trailing line ends after six pairs do no harm. Returns the number of bytes
// read; a seventh pair makes the text invalid and is reported as 7. Only six bytes are stored.
int ParseMacText(const QString& text, MacBytes* bytes = nullptr);

// True when `text` gives exactly six bytes.
bool IsValidMacText(const QString& text);

// The module's form of a MAC: "%02x:%02x:%02x:%02x:%02x:%02x". Empty for an invalid text.
QString NormaliseMacText(const QString& text);

}  // namespace orv
