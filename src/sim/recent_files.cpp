#include "sim/recent_files.h"

#include <algorithm>

namespace korvane {

namespace {
std::string joinKey(const std::string& section, const std::string& key) { return section + "/" + key; }
std::string recentKey(int n) { return "RecentFile" + std::to_string(n); }
}  // namespace

std::string MemorySettingsStore::value(const std::string& section, const std::string& key) const {
    const std::string k = joinKey(section, key);
    for (const auto& [name, v] : entries_)
        if (name == k) return v;
    return {};
}

void MemorySettingsStore::setValue(const std::string& section, const std::string& key, const std::string& value) {
    const std::string k = joinKey(section, key);
    for (auto& [name, v] : entries_)
        if (name == k) {
            v = value;
            return;
        }
    entries_.emplace_back(k, value);
}

std::vector<std::string> MemorySettingsStore::keys(const std::string& section) const {
    std::vector<std::string> out;
    const std::string prefix = section + "/";
    for (const auto& [name, v] : entries_)
        if (name.compare(0, prefix.size(), prefix) == 0) out.push_back(name.substr(prefix.size()));
    std::sort(out.begin(), out.end());
    return out;
}

void RecentFiles::load(const SettingsStore& store) {
    snapshot_.clear();
    if (store.value(kRecentSection, recentKey(1)).empty()) return;
    for (const auto& key : store.keys(kRecentSection)) snapshot_.emplace_back(key, store.value(kRecentSection, key));
}

std::vector<RecentMenuItem> RecentFiles::menuItems() const {
    std::vector<RecentMenuItem> items;
    std::vector<std::string> seen;
    int walked = 0;
    for (const auto& [key, path] : snapshot_) {
        if (walked++ >= kRecentItems) break;
        if (path.empty() || std::find(seen.begin(), seen.end(), path) != seen.end()) continue;
        seen.push_back(path);
        const int k = static_cast<int>(items.size());
        items.push_back({"&" + std::to_string(k + 1) + " " + path, path});
    }
    return items;
}

void RecentFiles::update(SettingsStore& store, const std::string& path) const {
    if (path.empty()) return;
    for (const auto& [key, p] : snapshot_)
        if (p == path) return;
    for (int a = 8; a >= 0; --a) {
        const std::string v = store.value(kRecentSection, recentKey(a));
        if (!v.empty()) store.setValue(kRecentSection, recentKey(a + 1), v);
    }
    store.setValue(kRecentSection, recentKey(1), path);
}

}  // namespace korvane
