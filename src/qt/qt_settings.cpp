#include "qt/qt_settings.h"

#include <QSettings>

namespace korvane {

std::string QtSettingsStore::value(const std::string& section, const std::string& key) const {
    QSettings s(QString::fromUtf8(kSettingsApp), QString::fromUtf8(kSettingsApp));
    s.beginGroup(QString::fromStdString(section));
    return s.value(QString::fromStdString(key)).toString().toStdString();
}

void QtSettingsStore::setValue(const std::string& section, const std::string& key, const std::string& value) {
    QSettings s(QString::fromUtf8(kSettingsApp), QString::fromUtf8(kSettingsApp));
    s.beginGroup(QString::fromStdString(section));
    s.setValue(QString::fromStdString(key), QString::fromStdString(value));
    s.endGroup();
    s.sync();
}

std::vector<std::string> QtSettingsStore::keys(const std::string& section) const {
    QSettings s(QString::fromUtf8(kSettingsApp), QString::fromUtf8(kSettingsApp));
    s.beginGroup(QString::fromStdString(section));
    std::vector<std::string> out;
    for (const QString& k : s.childKeys()) out.push_back(k.toStdString());
    return out;
}

}  // namespace korvane
