#pragma once
// The texts of the object I/O view ("连接的仿真对象"), Qt-free: the count fields, the
// hexadecimal byte fields, the analog fields and the seven grid columns, with their cutting
// rules. The view only copies these texts into its cells.
#include <string>
#include <vector>

#include "objectlink/object_link.h"

namespace korvane {

namespace objectview {

inline constexpr const char* kCaption = "连接的仿真对象";
inline constexpr const char* kMissing = "不存在";
inline constexpr const char* kUnassignableSuffix = "IO无法分配";
inline constexpr const char* kStatusUnassignable = "IO点无法分配，无法完全监控对象";
inline constexpr int kColumns = 7;

// A number in decimal as the views write it: up to 15 significant digits, no exponent for
// the values a link carries.
std::string decimalText(double v);
// A count field: the number with one leading blank.
std::string countText(int n);
// Hexadecimal byte field j of a digital table: points 8j to 8j + 7, upper case, no leading
// zeros ("0", "A5").
std::string hexByteText(std::span<const ObjectPoint> points, int j);
// An analog field: more than four digits after the point are cut (not rounded) to three.
std::string analogFieldText(double v);
// Grid column 6: digital " 1" / " 0"; analog with one leading blank, more than five digits
// after the point cut to four; empty for an unassigned point.
std::string gridValueText(PointKind kind, const ObjectPoint& p);
const char* typeText(PointKind kind);  // "位" / "字"
const char* kindText(PointKind kind);  // "DI" ...
// Column 4: "CPU集成", "模块s" (DI), "IO模块s" (AI, DO, AO) or "不存在".
std::string moduleText(PointKind kind, const ObjectPoint& p);
// Column 5: "I1.5", "Q0.3", "AIW2", "AQW0"; empty for an unassigned point.
std::string addressText(PointKind kind, const ObjectPoint& p);
// A point the rack cannot take: its slot is not the CPU's and it has no slot or no index.
bool unassignable(const ObjectPoint& p);

// The grid's rows in their order (DI, AI, DO, AO), each with its point.
struct Row {
    PointKind kind;
    int index;
};
std::vector<Row> rows(const ObjectLink& link);

}  // namespace objectview

}  // namespace korvane
