#pragma once
// Bilingual texts: the language test and the string-pair loader. Qt-free.
#include <string>

namespace vt {

// True when the system's default language is Japanese. On this platform the
// language is that of the first set variable of LC_ALL, LC_MESSAGES and LANG
// ("ja", "ja_JP.UTF-8", ...); anything else, or nothing, is English.
bool IsJapanese();

// The first text on a Japanese system, the second otherwise.
std::string SelectByLanguage(std::string japanese, std::string english);

// The text of the current language from the string table; an id the table does
// not hold gives an empty text.
std::string LoadStringPair(unsigned japaneseId, unsigned englishId);

}  // namespace vt
