#pragma once
// The parsed options file with its lookups by "Name". Option elements may
// carry any tag; only "ToolOptions", "ProgramOptions", "Languages",
// "Language", "Profiles" and "HotKeys" are looked up by tag. The program
// never creates elements: it reads attributes, writes the text of existing
// "Value" attributes, and saves.
#include "options/OptionsError.h"
#include "uikit/LanguageSettings.h"

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

class OptionsDocument : public LanguageSettings {
public:
    // With loadFile set, makes sure the per-user file exists (copying the
    // default beside the program when needed) and loads it. Raises
    // OptionsError.
    explicit OptionsDocument(bool loadFile);
    virtual ~OptionsDocument();
    OptionsDocument(const OptionsDocument&) = delete;
    OptionsDocument& operator=(const OptionsDocument&) = delete;

    // Takes a copy of another document, for example another options
    // object's. Returns true on success.
    virtual bool LoadFromDocument(const pugi::xml_document& source);
    // Depth-first search below node for the element whose "Name" is name;
    // its "Value", mapped to the item name when mapItems is set; empty when
    // absent.
    virtual std::wstring FindOptionValue(pugi::xml_node node, const std::wstring& name, bool mapItems) const;
    // The "Name" of the first child whose "Value" is value, else value.
    virtual std::wstring ValueToItemName(pugi::xml_node option, const std::wstring& value) const;
    // An attribute of the first node the expression selects; empty when it
    // selects nothing or does not compile.
    virtual std::wstring GetAttributeByXPath(const std::wstring& xpath, const std::wstring& attribute) const;
    // An option below the single "ProgramOptions" element; empty when there
    // is none or more than one.
    virtual std::wstring GetProgramOption(const std::wstring& name, bool mapItems) const;
    virtual std::wstring GetValueByXPath(const std::wstring& xpath, bool mapItems) const;

    // Makes sure a usable per-user file exists: copies the default file when
    // forced or when the per-user file is missing. When the default is newer
    // (an update, or the installing user's wizard answers), the user keeps
    // every value whose option the default still has, gets the options new
    // in it and loses those it dropped; the previous file stays beside it as
    // "options.xml.bak". Raises OptionsError code 4.
    void EnsureUserOptionsFile(bool force);
    // Copies the default file over the user's, as it is, and loads it;
    // false when there is no default file or the copy or the load failed.
    bool RestoreDefaultOptions();
    // Loads the per-user file. Raises OptionsError code 3 with the parser's
    // reason, or code 2. On failure the document in memory is unchanged.
    void LoadOptions();
    // Saves to the per-user file through a temporary file, so that a failed
    // save leaves the previous file intact. Returns false when the save
    // failed; true when it worked or there is no file to save to.
    bool SaveOptions();

    // Writes value (through ItemNameToValue when mapItems is set) into the
    // "Value" of the element FindOptionValue would find. Returns false when
    // there is no such element or it has no "Value" attribute.
    bool SetOptionValue(pugi::xml_node node, const std::wstring& name, const std::wstring& value, bool mapItems);
    // The "Value" of the last child whose "Name" is name, else name.
    std::wstring ItemNameToValue(pugi::xml_node option, const std::wstring& name) const;
    bool SetProgramOption(const std::wstring& name, const std::wstring& value, bool mapItems);

    // Fills languages with language identifier -> language file name from
    // the "Language" entries. Returns false when an entry could not be read.
    bool ReadLanguageFiles(std::map<uint16_t, std::wstring>& languages) const override;
    // The "LanguageXML" of the language that the "Language" option names.
    std::wstring GetLanguageFileForOption() const override;
    // Makes the language entry for a Windows language identifier the
    // language option, and saves: the entry with the same primary language
    // and sublanguage, else the first with the same primary language. Nothing
    // changes when none matches or there is not exactly one "Languages"
    // element. Always returns true.
    bool SelectLanguageForLangId(uint16_t langId) override;
    // The "Value" of that entry among the child elements of languages. The
    // identifiers compare as decimal texts, so an empty "SubLangID" matches
    // the primary language only.
    static std::optional<std::wstring> ChooseLanguageEntry(pugi::xml_node languages, uint16_t langId);

    pugi::xml_node GetRootElement() const;
    pugi::xml_document& Document() { return m_document; }
    const pugi::xml_document& Document() const { return m_document; }

protected:
    // The newer default file with the user's values, written over the user's
    // file after keeping it as its ".bak".
    static void MergeNewerDefault(const std::wstring& defaults, const std::wstring& user);
    // The single "ProgramOptions" element, or null.
    pugi::xml_node ProgramOptionsElement() const;
    // The element with this tag when the document has exactly one, else null.
    pugi::xml_node SingleElement(const wchar_t* tag) const;
    // The first child element whose "Name" is name.
    static pugi::xml_node NamedChild(pugi::xml_node parent, const std::wstring& name);
    // Writes the text of an existing "Value" attribute; false when there is none.
    static bool WriteValue(pugi::xml_node option, const std::wstring& value);
    // The first element, in the walk FindOptionValue makes, whose "Name" is
    // name.
    static pugi::xml_node FindOptionElement(pugi::xml_node node, const std::wstring& name);

    bool m_ownsFile = true;
    pugi::xml_document m_document;
};
