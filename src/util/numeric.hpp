#pragma once
/// Conversions with the controller's arithmetic rules: integer conversions round half to
/// even and fail with OverflowError when the value does not fit; single-precision steps are
/// explicit. Every conversion of the controller goes through these helpers.

#include <cstdint>
#include <string>
#include <string_view>

namespace morvand::util {

/// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

/// Rounds half to even into an Int16; OverflowError outside -32768..32767 or for NaN.
int16_t toInt16(double value);
/// Rounds half to even into an Int32; OverflowError outside the Int32 range or for NaN.
int32_t toInt32(double value);
/// Narrows an exact integer into an Int16; OverflowError when it does not fit.
int16_t checkedInt16(int64_t value);
/// Narrows an exact integer into an Int32; OverflowError when it does not fit.
int32_t checkedInt32(int64_t value);
/// Rounds a double to the nearest single; OverflowError when it is finite but rounds to
/// infinity (a value that rounds to the largest single fits).
float toSingle(double value);
/// a / b in double precision; FloatError when b is 0 or the result is not a number.
double divide(double a, double b);

/// Shortest decimal text that reads back as the same single ("899.5", "900", "0.1").
std::string formatSingle(float value);
/// Shortest decimal text that reads back as the same double.
std::string formatDouble(double value);

/// Parses the whole text as one decimal number, as written by the settings files and hosts
/// (leading and trailing blanks ignored, optional sign, point as separator, optional
/// exponent). Returns false when the text is not such a number ("inf", "nan" and hex are
/// not). Independent of the locale.
bool parseNumber(std::string_view text, double& value);
/// Parses the text as parseNumber does, straight into the nearest single, so every text
/// formatSingle writes reads back as the same single. OverflowError when the number is too
/// large for a single.
bool parseSingle(std::string_view text, float& value);

}  // namespace morvand::util
