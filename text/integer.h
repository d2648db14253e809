// Strict integer text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vq {

// Optional leading spaces, an optional sign, then decimal digits or a hexadecimal
// form introduced by "$", "x" or "0x" (any letter case). Nothing may follow (a
// trailing space is an error), empty text is an error, and the value must fit a
// signed 32-bit integer. Throws EConvertError "'%s' is not a valid integer value".
int32_t strToInt(std::string_view text);

// Plain decimal, "-" for negatives.
std::string intToStr(int64_t value);

} // namespace vq
