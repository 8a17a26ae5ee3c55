#include "TarvexReader/QtPlatform/settings_user_defaults.h"

#include <QSettings>

namespace TarvexReader {

namespace {
QString keyOf(const std::string& key) {
    return QString::fromStdString(key);
}
} // namespace

std::shared_ptr<SettingsUserDefaults> SettingsUserDefaults::standardUserDefaults() {
    static const auto defaults = std::make_shared<SettingsUserDefaults>();
    return defaults;
}

bool SettingsUserDefaults::boolForKey(const std::string& key) const {
    const QVariant value = QSettings().value(keyOf(key));
    return value.isValid() && value.toBool();
}

void SettingsUserDefaults::setBool(bool value, const std::string& key) {
    QSettings settings;
    settings.setValue(keyOf(key), value);
    settings.sync();
}

std::optional<std::string> SettingsUserDefaults::stringForKey(const std::string& key) const {
    const QVariant value = QSettings().value(keyOf(key));
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

void SettingsUserDefaults::setString(const std::string& value, const std::string& key) {
    QSettings settings;
    settings.setValue(keyOf(key), QString::fromStdString(value));
    settings.sync();
}

void SettingsUserDefaults::removeObjectForKey(const std::string& key) {
    QSettings settings;
    settings.remove(keyOf(key));
    settings.sync();
}

} // namespace TarvexReader
