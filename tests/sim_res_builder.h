// Builds small compiled-resource files (.res) in the layout windres writes, so tests can give
// the simulated PC dialogs and menus beyond those of KTRResource.rc, and damage them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

class Bytes {
public:
    std::vector<std::uint8_t> data;

    Bytes& u16(std::uint32_t v) {
        data.push_back(static_cast<std::uint8_t>(v));
        data.push_back(static_cast<std::uint8_t>(v >> 8));
        return *this;
    }
    Bytes& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& text(const std::u16string& s) {
        for (char16_t c : s)
            u16(c);
        return u16(0);
    }
    Bytes& align4() {
        while (data.size() % 4)
            data.push_back(0);
        return *this;
    }
};

struct Control {
    std::uint16_t atom; // 0x80 Button, 0x81 Edit, 0x82 Static, 0x83 ListBox, 0x85 ComboBox
    int id;
    std::u16string text;
    std::uint32_t style;
};

// DLGTEMPLATEEX (extended) or DLGTEMPLATE, with DS_SETFONT.
inline std::vector<std::uint8_t> dialogTemplate(bool extended, std::uint32_t style,
                                                std::uint32_t exStyle,
                                                const std::u16string& caption,
                                                const std::vector<Control>& controls) {
    constexpr std::uint32_t dsSetFont = 0x40;
    Bytes b;
    if (extended)
        b.u16(1).u16(0xFFFF).u32(0).u32(exStyle).u32(style | dsSetFont);
    else
        b.u32(style | dsSetFont).u32(exStyle);
    b.u16(static_cast<std::uint32_t>(controls.size())).u16(0).u16(0).u16(200).u16(100);
    b.u16(0).u16(0).text(caption).u16(8);
    if (extended)
        b.u16(400).u16(0);
    b.text(u"MS Shell Dlg");
    for (const auto& c : controls) {
        b.align4();
        if (extended)
            b.u32(0).u32(0).u32(c.style);
        else
            b.u32(c.style).u32(0);
        b.u16(5).u16(5).u16(50).u16(14);
        if (extended)
            b.u32(static_cast<std::uint32_t>(c.id));
        else
            b.u16(static_cast<std::uint32_t>(c.id) & 0xFFFF);
        b.u16(0xFFFF).u16(c.atom).text(c.text).u16(0);
    }
    return b.data;
}

struct MenuEntry {
    std::u16string text;
    std::uint16_t id = 0; // 0 for a popup
    std::vector<MenuEntry> children;
};

// A standard MENU template.
inline void menuItems(Bytes& b, const std::vector<MenuEntry>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto& item = items[i];
        std::uint32_t flags = i + 1 == items.size() ? 0x80 : 0;
        if (!item.children.empty())
            flags |= 0x10;
        b.u16(flags);
        if (item.children.empty())
            b.u16(item.id);
        b.text(item.text);
        if (!item.children.empty())
            menuItems(b, item.children);
    }
}

inline std::vector<std::uint8_t> menuTemplate(const std::vector<MenuEntry>& items) {
    Bytes b;
    b.u16(0).u16(0);
    menuItems(b, items);
    return b.data;
}

// A .res file: the leading empty entry, then one entry per resource (type and name ordinals).
class ResFile {
public:
    ResFile() { add(0, 0, {}); }

    ResFile& add(std::uint16_t type, std::uint16_t name, const std::vector<std::uint8_t>& body) {
        Bytes h;
        h.u32(static_cast<std::uint32_t>(body.size())).u32(32);
        h.u16(0xFFFF).u16(type).u16(0xFFFF).u16(name);
        h.u32(0).u16(0x1030).u16(0x0409).u32(0).u32(0);
        bytes_.insert(bytes_.end(), h.data.begin(), h.data.end());
        bytes_.insert(bytes_.end(), body.begin(), body.end());
        while (bytes_.size() % 4)
            bytes_.push_back(0);
        return *this;
    }

    // A string-table block: `strings` are ids 16 * (block - 1) onwards.
    ResFile& strings(std::uint16_t block, const std::vector<std::u16string>& strings) {
        Bytes b;
        for (std::size_t i = 0; i < 16; ++i) {
            const std::u16string s = i < strings.size() ? strings[i] : std::u16string();
            b.u16(static_cast<std::uint32_t>(s.size()));
            for (char16_t c : s)
                b.u16(c);
        }
        return add(6, block, b.data);
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace simtest
