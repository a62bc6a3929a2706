#pragma once
// The per-user settings store on QSettings (organisation and application "Korvane107B").
#include "sim/recent_files.h"

namespace korvane {

class QtSettingsStore : public SettingsStore {
public:
    std::string value(const std::string& section, const std::string& key) const override;
    void setValue(const std::string& section, const std::string& key, const std::string& value) override;
    std::vector<std::string> keys(const std::string& section) const override;
};

}  // namespace korvane
