#pragma once
// The recent-files list of the File menu, kept in the per-user settings store under the
// application key "Korvane107B", section "Recent Files", keys "RecentFile1" (the newest) to
// "RecentFile9". Read once at start-up; updated only at exit.
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// The per-user settings store: string values by section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string value(const std::string& section, const std::string& key) const = 0;
    virtual void setValue(const std::string& section, const std::string& key, const std::string& value) = 0;
    // The keys of a section in key order.
    virtual std::vector<std::string> keys(const std::string& section) const = 0;
};

// An in-memory store for tests.
class MemorySettingsStore : public SettingsStore {
public:
    std::string value(const std::string& section, const std::string& key) const override;
    void setValue(const std::string& section, const std::string& key, const std::string& value) override;
    std::vector<std::string> keys(const std::string& section) const override;

private:
    std::vector<std::pair<std::string, std::string>> entries_;  // "section/key" -> value
};

inline constexpr const char* kSettingsApp = "Korvane107B";
inline constexpr const char* kRecentSection = "Recent Files";
inline constexpr int kRecentItems = 9;

struct RecentMenuItem {
    std::string caption;  // "&1 /path/prog.awl"
    std::string path;
};

class RecentFiles {
public:
    // Start-up: the section as a snapshot (empty when "RecentFile1" is missing or empty).
    void load(const SettingsStore& store);
    const std::vector<std::pair<std::string, std::string>>& snapshot() const { return snapshot_; }
    // The items to show, at most nine, repeated paths skipped; empty hides every item and
    // the separator before "退出".
    std::vector<RecentMenuItem> menuItems() const;
    // Exit: a path not in the snapshot shifts RecentFile1..8 down one and becomes
    // RecentFile1; a path in it changes nothing. An empty path changes nothing.
    void update(SettingsStore& store, const std::string& path) const;

private:
    std::vector<std::pair<std::string, std::string>> snapshot_;
};

}  // namespace korvane
