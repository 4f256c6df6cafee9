#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace pb {

// Record numbers and counts are 16-bit signed and travel as text. A text
// converts when it is an optionally signed run of decimal digits, spaces
// around it allowed, within -32768 ... 32767.
std::optional<std::int16_t> toRecordNumber(const QString& text);

constexpr int kMaxRecord = 32767;

} // namespace pb
