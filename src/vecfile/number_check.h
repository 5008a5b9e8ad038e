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

// Whether an abscissa is stored exactly as written. The readers keep it as an
// exact decimal, M * 10^-s with a signed 64-bit integer M and a scale s of 0
// to 18 places. True for an optional sign, decimal digits with an optional
// point (one digit at least) and an optional complete exponent, when the
// digits written, leading zeros aside, make an integer D of at most 2^63 - 1,
// and s = (digits after the point) - (exponent) lies within -18..18, with
// D * 10^-s at most 2^63 - 1 when s is negative. Zero follows the same scale
// rule. Hexadecimal, inf and nan are false: they are not exported.
bool isExactAbscissa(std::string_view text);

}  // namespace morvale

#endif
