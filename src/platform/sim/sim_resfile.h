// Reading compiled resources (.res, as windres and rc write them) for the simulated PC:
// the string table, dialog templates, menu templates, icon groups and bitmaps. Every
// length and offset comes from the data and is checked against the buffer before use, so
// a damaged or truncated file is rejected instead of being overread.
#pragma once

#include "types.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::res {

inline constexpr std::uint16_t kTypeBitmap = 2;
inline constexpr std::uint16_t kTypeMenu = 4;
inline constexpr std::uint16_t kTypeDialog = 5;
inline constexpr std::uint16_t kTypeString = 6;
inline constexpr std::uint16_t kTypeGroupIcon = 14;

// A resource type or name: a 16-bit ordinal, or a string when `text` is not empty.
struct ResName {
    std::uint16_t ordinal = 0;
    plat::String text;
    bool isOrdinal(std::uint16_t value) const { return text.empty() && ordinal == value; }
};

struct ResEntry {
    ResName type;
    ResName name;
    std::uint16_t language = 0;
    std::vector<std::uint8_t> data;
};

// Splits a .res file into its entries (the leading empty entry is dropped). False, with a
// reason in `error`, when anything does not fit the buffer.
bool parseResFile(const std::uint8_t* data, std::size_t size, std::vector<ResEntry>& out,
                  std::string& error);

// Predefined control classes of dialog templates.
inline constexpr std::uint16_t kAtomButton = 0x80;
inline constexpr std::uint16_t kAtomEdit = 0x81;
inline constexpr std::uint16_t kAtomStatic = 0x82;
inline constexpr std::uint16_t kAtomListBox = 0x83;
inline constexpr std::uint16_t kAtomScrollBar = 0x84;
inline constexpr std::uint16_t kAtomComboBox = 0x85;

struct DialogItem {
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    plat::String className; // predefined atoms are translated to their class names
    plat::String text;
    std::uint16_t textOrdinal = 0; // a resource id instead of a text (icons in statics)
};

struct DialogTemplate {
    bool extended = false; // DLGTEMPLATEEX (DIALOGEX) rather than DLGTEMPLATE
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    plat::String windowClass; // empty: the dialog class
    plat::String caption;
    std::uint16_t pointSize = 0;
    plat::String typeface;
    std::vector<DialogItem> items;
};

// Parses DLGTEMPLATE and DLGTEMPLATEEX.
bool parseDialogTemplate(const std::uint8_t* data, std::size_t size, DialogTemplate& out);

struct MenuTemplateItem {
    bool popup = false;
    bool separator = false;
    bool grayed = false;
    bool checked = false;
    std::uint32_t id = 0;
    plat::String text;
    std::vector<MenuTemplateItem> children;
};

// Parses MENU and MENUEX templates into the items of the menu bar.
bool parseMenuTemplate(const std::uint8_t* data, std::size_t size,
                       std::vector<MenuTemplateItem>& out);

// The resources of one module, looked up as LoadString, LoadIcon and friends do.
class ResourceSet {
public:
    // Nothing when the data is not a well-formed .res (`error` says why).
    static std::optional<ResourceSet> fromBytes(const std::uint8_t* data, std::size_t size,
                                                std::string& error);

    const std::vector<std::uint8_t>* find(std::uint16_t type, std::uint16_t id) const;
    // False for a missing or empty string, as LoadStringW returns 0 for both.
    bool loadString(std::uint32_t id, plat::String& out) const;
    std::optional<DialogTemplate> dialog(int id) const;
    std::optional<std::vector<MenuTemplateItem>> menu(int id) const;
    std::size_t entryCount() const { return entries_.size(); }

private:
    std::vector<ResEntry> entries_;
};

} // namespace sim::res
