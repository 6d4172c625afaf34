#include "core/Strings.h"

#include <cstdlib>
#include <string_view>

#include "res/StringTable.h"

namespace vt {

bool IsJapanese() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        std::string_view v(value);
        // Primary language only: "ja", "ja_JP", "ja_JP.UTF-8", "ja@..." are Japanese.
        return v.substr(0, 2) == "ja" && (v.size() == 2 || v[2] == '_' || v[2] == '.' || v[2] == '@');
    }
    return false;
}

std::string SelectByLanguage(std::string japanese, std::string english) {
    return IsJapanese() ? std::move(japanese) : std::move(english);
}

std::string LoadStringPair(unsigned japaneseId, unsigned englishId) {
    // Both are loaded, as a pair, then one is chosen.
    std::string ja(LookupString(japaneseId));
    std::string en(LookupString(englishId));
    return SelectByLanguage(std::move(ja), std::move(en));
}

}  // namespace vt
