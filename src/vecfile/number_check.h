// Number checks: whether the readers of vector files take a token as written.
#ifndef MORVALE_VECFILE_NUMBER_CHECK_H
#define MORVALE_VECFILE_NUMBER_CHECK_H

#include <string_view>

namespace morvale {

// Whether a sample's value reads as a number: true exactly when C's strtod in
// the "C" locale consumes the whole token. That is an optional sign, then a
// decimal number with an optional complete exponent (5, .5, 5., 1.5E+02), a
// hexadecimal one with an optional complete binary exponent (0x1A, 0x1.8p-3),
// inf or infinity, or nan with an optional (letters, digits and _), letters in
// any case. Magnitudes out of range still read (1e400, 1e-400). Any blank,
// TAB or other byte makes it false: the readers cut lines at blanks and TABs,
// and refuse the whole file over one value they cannot read.
bool isReadableValue(std::string_view text);

// Whether an abscissa is stored exactly as written. The readers keep it as
// the written digits, D, taken as one integer in a signed 64-bit mantissa,
// with a scale s = (digits after the point) - (exponent) of at most 18
// decimal places. True for an optional sign, decimal digits with an optional
// point (one digit at least) and an optional complete exponent, when D, and
// D * 10^-s if s is negative, are at most 2^63 - 1, and -18 <= s <= 18 (zero
// included). Hexadecimal, inf and nan are false: they are not exported.
bool isExactAbscissa(std::string_view text);

}  // namespace morvale

#endif
