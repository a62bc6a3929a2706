#pragma once
// A run-time fault inside the engine: a cell index outside the image, a value that does not
// fit the integer it is converted to, a table index out of bounds. Faults are thrown where
// they happen and caught by the step that owns them (a writer, a pass, a build); they never
// leave the engine.
#include <cstdint>
#include <cmath>

namespace korvane {

enum class FaultCode : std::uint8_t {
    AccessOutOfImage,
    Overflow,
    IndexOutOfRange,
    DivisionByZero,
    InvalidArgument,
    BadPointer,  // a pointer that addresses no data area, or runs past the end of one
};

struct PlcFault {
    FaultCode code;
};

[[noreturn]] inline void fault(FaultCode code) { throw PlcFault{code}; }

// Round to nearest, ties to even (the rounding of every conversion to an integer type).
inline double roundEven(double v) { return std::nearbyint(v); }

// Rounded conversions that fault when the result does not fit.
inline std::int16_t toInt16(double v) {
    double r = roundEven(v);
    if (!(r >= -32768.0 && r <= 32767.0)) fault(FaultCode::Overflow);
    return static_cast<std::int16_t>(r);
}
inline std::int32_t toInt32(double v) {
    double r = roundEven(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) fault(FaultCode::Overflow);
    return static_cast<std::int32_t>(r);
}
inline std::uint8_t toByte(double v) {
    double r = roundEven(v);
    if (!(r >= 0.0 && r <= 255.0)) fault(FaultCode::Overflow);
    return static_cast<std::uint8_t>(r);
}

// Conversion to single precision; a finite value beyond the single range overflows.
inline float toSingle(double v) {
    if (std::isfinite(v) && std::fabs(v) > 3.4028234663852886e38) fault(FaultCode::Overflow);
    return static_cast<float>(v);
}

}  // namespace korvane
