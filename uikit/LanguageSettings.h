#pragma once
// What the text catalog needs of the program's settings: the language option
// and the language entries it chooses from. The program's options document
// implements it; the catalog never sees the rest of the settings.
#include <cstdint>
#include <map>
#include <string>

class LanguageSettings {
public:
    // The language file ("german.xml") of the entry the language option
    // names; empty when it names none.
    virtual std::wstring GetLanguageFileForOption() const = 0;
    // Makes the entry for a Windows language identifier the language option.
    virtual bool SelectLanguageForLangId(uint16_t langId) = 0;
    // Language identifier -> language file name of every entry. False when
    // an entry could not be read; the others are still there.
    virtual bool ReadLanguageFiles(std::map<uint16_t, std::wstring>& languages) const = 0;

protected:
    // Not deleted through this interface.
    ~LanguageSettings() = default;
};
