#include "sim_resfile.h"

#include "text.h"

namespace sim::res {

namespace {

// Little-endian reads that never pass `size_`; a failed read leaves the reader failed.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(data ? size : 0) {}

    bool ok() const { return ok_; }
    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return ok_ ? size_ - pos_ : 0; }

    bool seek(std::size_t pos) {
        if (!ok_ || pos > size_)
            return ok_ = false;
        pos_ = pos;
        return true;
    }
    bool skip(std::size_t n) { return n <= remaining() ? seek(pos_ + n) : (ok_ = false); }
    bool align4() { return seek((pos_ + 3) & ~std::size_t{3}); }

    std::uint8_t u8() {
        if (remaining() < 1) {
            ok_ = false;
            return 0;
        }
        return data_[pos_++];
    }
    std::uint16_t u16() {
        if (remaining() < 2) {
            ok_ = false;
            return 0;
        }
        const std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        const std::uint32_t hi = u16();
        return lo | (hi << 16);
    }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }

    // A null-terminated UTF-16 string; fails when the terminator is missing.
    plat::String string() {
        plat::String s;
        while (ok_) {
            const char16_t c = u16();
            if (!ok_ || c == 0)
                break;
            s += c;
        }
        return s;
    }

    // sz_Or_Ord of templates: 0x0000 nothing, 0xFFFF then an ordinal, else a string.
    void stringOrOrdinal(plat::String& text, std::uint16_t& ordinal) {
        text.clear();
        ordinal = 0;
        const std::uint16_t first = u16();
        if (!ok_ || first == 0)
            return;
        if (first == 0xFFFF) {
            ordinal = u16();
            return;
        }
        text += static_cast<char16_t>(first);
        text += string();
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// Names in .res entry headers: 0xFFFF then an ordinal, else a string.
ResName readResName(Reader& r) {
    ResName n;
    const std::uint16_t first = r.u16();
    if (first == 0xFFFF) {
        n.ordinal = r.u16();
    } else if (first != 0) {
        n.text += static_cast<char16_t>(first);
        n.text += r.string();
    }
    return n;
}

plat::String atomClassName(std::uint16_t atom) {
    switch (atom) {
    case kAtomButton:
        return u"Button";
    case kAtomEdit:
        return u"Edit";
    case kAtomStatic:
        return u"Static";
    case kAtomListBox:
        return u"ListBox";
    case kAtomScrollBar:
        return u"ScrollBar";
    case kAtomComboBox:
        return u"ComboBox";
    default:
        return u"#" + plat::fromAscii(std::to_string(atom));
    }
}

constexpr std::uint32_t kDsSetFont = 0x40;
constexpr std::uint16_t kMfGrayed = 0x01;
constexpr std::uint16_t kMfChecked = 0x08;
constexpr std::uint16_t kMfPopup = 0x10;
constexpr std::uint16_t kMfEnd = 0x80;
constexpr int kMaxMenuDepth = 16; // menus nest a few levels; deeper data is hostile

bool parseMenuItems(Reader& r, int depth, std::vector<MenuTemplateItem>& out) {
    if (depth > kMaxMenuDepth)
        return false;
    for (;;) {
        MenuTemplateItem item;
        const std::uint16_t flags = r.u16();
        item.popup = (flags & kMfPopup) != 0;
        item.grayed = (flags & kMfGrayed) != 0;
        item.checked = (flags & kMfChecked) != 0;
        if (!item.popup)
            item.id = r.u16();
        item.text = r.string();
        if (!r.ok())
            return false;
        item.separator = !item.popup && item.id == 0 && item.text.empty();
        if (item.popup && !parseMenuItems(r, depth + 1, item.children))
            return false;
        out.push_back(std::move(item));
        if (flags & kMfEnd)
            return true;
    }
}

bool parseMenuExItems(Reader& r, int depth, std::vector<MenuTemplateItem>& out) {
    if (depth > kMaxMenuDepth)
        return false;
    for (;;) {
        MenuTemplateItem item;
        const std::uint32_t type = r.u32();
        const std::uint32_t state = r.u32();
        item.id = r.u32();
        const std::uint16_t flags = r.u16();
        item.text = r.string();
        r.align4();
        if (!r.ok())
            return false;
        item.popup = (flags & 0x01) != 0;
        item.separator = (type & 0x800) != 0;
        item.grayed = (state & 0x03) != 0;
        item.checked = (state & 0x08) != 0;
        if (item.popup) {
            r.u32(); // help id
            if (!parseMenuExItems(r, depth + 1, item.children))
                return false;
        }
        out.push_back(std::move(item));
        if (flags & kMfEnd)
            return true;
    }
}

} // namespace

bool parseResFile(const std::uint8_t* data, std::size_t size, std::vector<ResEntry>& out,
                  std::string& error) {
    out.clear();
    Reader r(data, size);
    std::size_t offset = 0;
    while (offset < size) {
        if (size - offset < 32) { // the smallest header, with two ordinals
            error = "truncated entry header at offset " + std::to_string(offset);
            return false;
        }
        r.seek(offset);
        const std::uint32_t dataSize = r.u32();
        const std::uint32_t headerSize = r.u32();
        if (headerSize < 32 || headerSize > size - offset ||
            dataSize > size - offset - headerSize) {
            error = "entry at offset " + std::to_string(offset) + " does not fit the file";
            return false;
        }
        // The names must lie within the header, not merely within the file.
        Reader header(data + offset, headerSize);
        header.skip(8);
        ResEntry e;
        e.type = readResName(header);
        e.name = readResName(header);
        header.align4();
        header.u32(); // data version
        header.u16(); // memory flags
        e.language = header.u16();
        if (!header.ok()) {
            error = "damaged entry header at offset " + std::to_string(offset);
            return false;
        }
        const std::uint8_t* body = data + offset + headerSize;
        if (!(e.type.isOrdinal(0) && dataSize == 0)) {
            e.data.assign(body, body + dataSize);
            out.push_back(std::move(e));
        }
        const std::size_t next = offset + headerSize + dataSize;
        offset = (next + 3) & ~std::size_t{3};
    }
    return true;
}

namespace {

// One item of a dialog template (DLGITEMTEMPLATE, or DLGITEMTEMPLATEEX when extended).
bool readDialogItem(Reader& r, bool extended, DialogItem& item) {
    r.align4();
    if (extended) {
        item.helpId = r.u32();
        item.exStyle = r.u32();
        item.style = r.u32();
    } else {
        item.style = r.u32();
        item.exStyle = r.u32();
    }
    item.x = r.i16();
    item.y = r.i16();
    item.cx = r.i16();
    item.cy = r.i16();
    if (extended) {
        item.id = static_cast<int>(r.u32());
    } else {
        const std::uint16_t id = r.u16();
        item.id = id == 0xFFFF ? -1 : id; // IDC_STATIC
    }
    std::uint16_t classAtom = 0;
    r.stringOrOrdinal(item.className, classAtom);
    if (item.className.empty())
        item.className = atomClassName(classAtom);
    r.stringOrOrdinal(item.text, item.textOrdinal);
    const std::uint16_t extra = r.u16();
    r.skip(extra);
    return r.ok();
}

} // namespace

bool parseDialogTemplate(const std::uint8_t* data, std::size_t size, DialogTemplate& out) {
    out = {};
    Reader r(data, size);
    const std::uint16_t version = r.u16();
    const std::uint16_t signature = r.u16();
    std::uint16_t count = 0;
    if (version == 1 && signature == 0xFFFF) {
        out.extended = true;
        out.helpId = r.u32();
        out.exStyle = r.u32();
        out.style = r.u32();
    } else {
        r.seek(0);
        out.style = r.u32();
        out.exStyle = r.u32();
    }
    count = r.u16();
    out.x = r.i16();
    out.y = r.i16();
    out.cx = r.i16();
    out.cy = r.i16();
    plat::String menuName;
    std::uint16_t ordinal = 0;
    r.stringOrOrdinal(menuName, ordinal);
    r.stringOrOrdinal(out.windowClass, ordinal);
    out.caption = r.string();
    if (out.style & kDsSetFont) {
        out.pointSize = r.u16();
        if (out.extended) {
            r.u16(); // weight
            r.u8();  // italic
            r.u8();  // character set
        }
        out.typeface = r.string();
    }
    if (!r.ok())
        return false;
    // Each item takes at least 18 bytes, so a count the data cannot hold is rejected here
    // rather than reserved.
    if (count > r.remaining() / 18 + 1)
        return false;
    for (std::uint16_t i = 0; i < count; ++i) {
        DialogItem item;
        if (!readDialogItem(r, out.extended, item))
            return false;
        out.items.push_back(std::move(item));
    }
    return true;
}

bool parseMenuTemplate(const std::uint8_t* data, std::size_t size,
                       std::vector<MenuTemplateItem>& out) {
    out.clear();
    Reader r(data, size);
    const std::uint16_t version = r.u16();
    const std::uint16_t offset = r.u16();
    if (!r.ok())
        return false;
    if (version == 0) {
        r.skip(offset);
        return parseMenuItems(r, 0, out);
    }
    if (version == 1) {
        r.seek(4 + std::size_t{offset});
        return parseMenuExItems(r, 0, out);
    }
    return false;
}

std::optional<ResourceSet> ResourceSet::fromBytes(const std::uint8_t* data, std::size_t size,
                                                  std::string& error) {
    ResourceSet set;
    if (!parseResFile(data, size, set.entries_, error))
        return std::nullopt;
    return set;
}

const std::vector<std::uint8_t>* ResourceSet::find(std::uint16_t type, std::uint16_t id) const {
    for (const auto& e : entries_)
        if (e.type.isOrdinal(type) && e.name.isOrdinal(id))
            return &e.data;
    return nullptr;
}

bool ResourceSet::loadString(std::uint32_t id, plat::String& out) const {
    out.clear();
    if (id > 0xFFFF)
        return false;
    // Strings live in blocks of 16; block n+1 holds ids 16n .. 16n+15.
    const auto* block = find(kTypeString, static_cast<std::uint16_t>((id >> 4) + 1));
    if (!block)
        return false;
    Reader r(block->data(), block->size());
    for (std::uint32_t i = 0; i < (id & 15); ++i)
        r.skip(std::size_t{r.u16()} * 2);
    const std::uint16_t length = r.u16();
    for (std::uint16_t i = 0; i < length && r.ok(); ++i)
        out += static_cast<char16_t>(r.u16());
    if (!r.ok()) {
        out.clear();
        return false;
    }
    return length > 0;
}

std::optional<DialogTemplate> ResourceSet::dialog(int id) const {
    if (id <= 0 || id > 0xFFFF)
        return std::nullopt;
    const auto* bytes = find(kTypeDialog, static_cast<std::uint16_t>(id));
    DialogTemplate t;
    if (!bytes || !parseDialogTemplate(bytes->data(), bytes->size(), t))
        return std::nullopt;
    return t;
}

std::optional<std::vector<MenuTemplateItem>> ResourceSet::menu(int id) const {
    if (id <= 0 || id > 0xFFFF)
        return std::nullopt;
    const auto* bytes = find(kTypeMenu, static_cast<std::uint16_t>(id));
    std::vector<MenuTemplateItem> items;
    if (!bytes || !parseMenuTemplate(bytes->data(), bytes->size(), items))
        return std::nullopt;
    return items;
}

} // namespace sim::res
