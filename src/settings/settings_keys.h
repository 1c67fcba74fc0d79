#pragma once
// The keys velocast.conf may hold, with what each allows and its default.
#include <QString>
#include <span>

namespace velocast {

struct SettingKey {
    enum class Kind { Text, Choice, Number, Size, YesNo, List, Path, PathList };
    const char* section;
    const char* key;
    Kind kind;
    const char* defaultValue;  // "" for none
    // Choice: the allowed words separated by '|'. Number/Size: ignored (see min/max).
    const char* choices = "";
    qint64 min = 0;
    qint64 max = 0;  // 0: no upper bound
};

std::span<const SettingKey> settingKeys();
const SettingKey* findSettingKey(const QString& section, const QString& key);

}  // namespace velocast
