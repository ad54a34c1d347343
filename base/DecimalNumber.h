#pragma once

namespace orvek {

// A decimal number as ORV files, header cells, imported text and the protector files hold it:
// optional sign, digits, optional fraction, optional exponent introduced by "E" or "e", and
// nothing else (no "inf", "nan" or hexadecimal). The whole of [first, last) must be the number.
// A float that underflows reads as 0; one beyond the single-precision range is refused.
bool ParseDecimal(const char* first, const char* last, float& value);
bool ParseDecimal(const char* first, const char* last, double& value);

}  // namespace orvek
