#pragma once
// The tank: a fill valve lets water in, a drain valve lets it out to the consumers; a level
// sensor reports 4 to 20 mA for 0 to 100 %, and two level switches close at 20 % and 80 %.
#include <algorithm>

struct TankModel {
    static constexpr double kFillPerSecond = 5.0;   // % of the tank per second
    static constexpr double kDrainPerSecond = 3.0;
    static constexpr double kLowSwitch = 20.0;
    static constexpr double kHighSwitch = 80.0;

    double level = 50.0;  // %
    bool fillValve = false;
    bool drainValve = false;
    bool demand = true;   // the consumers want water (the plant's own switch)

    // Advances the water by dt seconds (scaled by the plant's speed).
    void step(double dt) {
        if (fillValve) level += kFillPerSecond * dt;
        if (drainValve) level -= kDrainPerSecond * dt;
        level = std::clamp(level, 0.0, 100.0);
    }
    double sensorMilliamps() const { return 4.0 + 16.0 * level / 100.0; }
    bool lowSwitch() const { return level >= kLowSwitch; }   // water at the low switch
    bool highSwitch() const { return level >= kHighSwitch; }
};
