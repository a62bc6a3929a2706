#include "objectlink/object_view_model.h"

#include <cmath>
#include <cstdio>

namespace korvane::objectview {

namespace {
// More than `over` digits after the point: cut to `keep`.
std::string cutDecimals(std::string s, std::size_t over, std::size_t keep) {
    const auto dot = s.find('.');
    if (dot != std::string::npos && s.size() - dot - 1 > over) s.resize(dot + 1 + keep);
    return s;
}
}  // namespace

std::string decimalText(double v) {
    if (v == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s = buf;
    if (s.find('e') == std::string::npos) return s;
    // Very small or large values: fixed notation with the trailing zeros removed.
    std::snprintf(buf, sizeof buf, "%.15f", v);
    s = buf;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

std::string countText(int n) { return n < 0 ? std::to_string(n) : " " + std::to_string(n); }

std::string hexByteText(std::span<const ObjectPoint> points, int j) {
    unsigned v = 0;
    for (int b = 0; b < 8; ++b) {
        const std::size_t i = static_cast<std::size_t>(8 * j + b);
        if (i < points.size() && points[i].value > 0) v |= 1u << b;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "%X", v);
    return buf;
}

std::string analogFieldText(double v) { return cutDecimals(decimalText(v), 4, 3); }

std::string gridValueText(PointKind kind, const ObjectPoint& p) {
    if (!p.assigned()) return {};
    if (kind == PointKind::DI || kind == PointKind::DO) return p.value > 0 ? " 1" : " 0";
    const std::string s = cutDecimals(decimalText(p.value), 5, 4);
    return s[0] == '-' ? s : " " + s;
}

const char* typeText(PointKind kind) { return kind == PointKind::DI || kind == PointKind::DO ? "位" : "字"; }

const char* kindText(PointKind kind) {
    switch (kind) {
    case PointKind::DI: return "DI";
    case PointKind::AI: return "AI";
    case PointKind::DO: return "DO";
    case PointKind::AO: return "AO";
    }
    return "";
}

bool unassignable(const ObjectPoint& p) { return p.slot != 0 && (p.slot < 1 || p.indexInSlot < 0); }

std::string moduleText(PointKind kind, const ObjectPoint& p) {
    if (unassignable(p)) return kMissing;
    if (p.slot == 0) return "CPU集成";
    return std::string(kind == PointKind::DI ? "模块" : "IO模块") + std::to_string(p.slot);
}

std::string addressText(PointKind kind, const ObjectPoint& p) {
    if (!p.assigned() || p.address < 0) return {};
    switch (kind) {
    case PointKind::DI: return "I" + std::to_string(p.address / 8) + "." + std::to_string(p.address % 8);
    case PointKind::DO: return "Q" + std::to_string(p.address / 8) + "." + std::to_string(p.address % 8);
    case PointKind::AI: return "AIW" + std::to_string(p.address);
    case PointKind::AO: return "AQW" + std::to_string(p.address);
    }
    return {};
}

std::vector<Row> rows(const ObjectLink& link) {
    std::vector<Row> out;
    for (PointKind k : {PointKind::DI, PointKind::AI, PointKind::DO, PointKind::AO})
        for (int i = 0; i < link.count(k); ++i) out.push_back({k, i});
    return out;
}

}  // namespace korvane::objectview
