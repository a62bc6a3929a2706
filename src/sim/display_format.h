#pragma once
// The text forms every view uses for memory values: hexadecimal, decimal and binary with
// digit grouping for widths 8, 16 and 32, the signed reading of a bit pattern, the unsigned
// pattern of a signed value, and the panel and table forms of a real. Plain functions.
#include <string>
#include <string_view>

namespace korvane {

// Cuts a right-aligned digit text into groups of g from the right, joined by separator;
// the leftmost group is padded with blanks to g characters, and a text whose length is an
// exact multiple of g but shorter than f is widened to f ("ABCD", 4, 8 gives "    ,ABCD").
std::string groupDigits(std::string_view digits, std::string_view separator, int g, int f);

// Upper-case hexadecimal of a pattern (0 or more): at least four digits ("000A"), grouped
// for w 16 ("12,34") and w 32 ("1234,5678", "    ,ABCD").
std::string hexForm(double value, int width);
// Decimal with grouping for w 16 and 32 (" 65,535", "   ,123,456"); a minus sign goes in
// front of any padding ("-  5"); a magnitude above 2147483647 gives "溢出".
std::string decimalForm(double value, int width);
// Binary of a pattern (0 or more), grouped by eight ("     101", "11111111,11111111").
std::string binaryForm(double value, int width);

// The signed value of an unsigned pattern (255, 8 gives -1); 0 for a pattern beyond w bits.
double signedReading(double pattern, int width);
// The pattern of a signed value (-1, 8 gives 255); -1 when the value is out of range.
double unsignedPattern(double value, int width);

// A real as the panels show it: up to 15 significant digits, a blank before non-negative
// values, no zero before the point (" .5"), ".0" for whole numbers (" 100.0"); magnitudes
// of 1E+15 and more or below 1E-04 in exponent form (" 1E+15", " 1.5E-07").
std::string panelRealForm(double value);
// A real as the status table shows it ("##0.0000"): four decimals, exact halves rounded
// away from zero, no sign on a value that rounds to zero ("3.1416", "-2.0000").
std::string tableRealForm(double value);

}  // namespace korvane
