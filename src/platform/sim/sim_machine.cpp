// SimMachine: the machine set-up a test or the simulator makes: the registry, as the user's
// own tools would change it, and the files.
#include "sim_world.h"

#include <algorithm>

namespace sim {

namespace {

std::vector<std::uint8_t> utf16Bytes(const String& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

} // namespace

// ------------------------------------------------------------------ registry set-up

namespace {

const RegKey* findKey(const SimPc::Impl& w, plat::HKey root, const String& key) {
    auto& self = const_cast<SimPc::Impl&>(w);
    std::vector<String> parts;
    if (!splitPath(key, parts))
        return nullptr;
    return self.walk(self.rootKey(root), parts);
}

} // namespace

RegKey* ensureKey(SimPc::Impl& w, plat::HKey root, const String& key) {
    RegKey* node = w.rootKey(root);
    std::vector<String> parts;
    if (!node || !splitPath(key, parts))
        return nullptr;
    for (const auto& p : parts) {
        auto& child = node->subkeys[foldCase(p)];
        if (!child) {
            child = std::make_unique<RegKey>();
            child->name = p;
        }
        node = child.get();
    }
    return node;
}

void SimMachine::setRaw(plat::HKey root, const String& key, const String& name, std::uint32_t type,
                   std::vector<std::uint8_t> bytes) {
    Lock lk(impl_->m);
    RegKey* node = ensureKey(*impl_, root, key);
    if (!node)
        return;
    RegValue& v = node->values[foldCase(name)];
    v.name = name;
    v.type = type;
    v.bytes = std::move(bytes);
}

void SimMachine::setString(plat::HKey root, const String& key, const String& name, const String& value) {
    setRaw(root, key, name, REG_SZ, utf16Bytes(value));
}

void SimMachine::setDword(plat::HKey root, const String& key, const String& name, std::uint32_t value) {
    setRaw(root, key, name, REG_DWORD,
           {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

void SimMachine::createKey(plat::HKey root, const String& key) {
    Lock lk(impl_->m);
    ensureKey(*impl_, root, key);
}

void SimMachine::deleteTree(plat::HKey root, const String& key) {
    Lock lk(impl_->m);
    std::vector<String> parts;
    if (!splitPath(key, parts) || parts.empty())
        return;
    const String last = foldCase(parts.back());
    parts.pop_back();
    if (RegKey* parent = impl_->walk(impl_->rootKey(root), parts))
        parent->subkeys.erase(last);
}

bool SimMachine::keyExists(plat::HKey root, const String& key) const {
    Lock lk(impl_->m);
    return findKey(*impl_, root, key) != nullptr;
}

std::optional<std::pair<std::uint32_t, std::vector<std::uint8_t>>>
SimMachine::value(plat::HKey root, const String& key, const String& name) const {
    Lock lk(impl_->m);
    const RegKey* node = findKey(*impl_, root, key);
    if (!node)
        return std::nullopt;
    auto it = node->values.find(foldCase(name));
    if (it == node->values.end())
        return std::nullopt;
    return std::make_pair(it->second.type, it->second.bytes);
}

std::optional<String> SimMachine::stringValue(plat::HKey root, const String& key,
                                         const String& name) const {
    const auto v = value(root, key, name);
    if (!v || (v->first != REG_SZ && v->first != win::kRegExpandSz))
        return std::nullopt;
    String text;
    const auto& bytes = v->second;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

std::optional<std::uint32_t> SimMachine::dwordValue(plat::HKey root, const String& key,
                                               const String& name) const {
    const auto v = value(root, key, name);
    if (!v || v->first != REG_DWORD || v->second.size() != 4)
        return std::nullopt;
    const auto& b = v->second;
    return static_cast<std::uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16) |
                                      (static_cast<std::uint32_t>(b[3]) << 24));
}

void SimMachine::setHklmWritable(bool writable) {
    Lock lk(impl_->m);
    impl_->hklmWritable = writable;
}

// ------------------------------------------------------------------ files

void SimMachine::writeFile(const String& path, const std::string& bytes) {
    Lock lk(impl_->m);
    const String key = normaliseFilePath(path);
    SimFile& f = impl_->files[key];
    if (f.path.empty())
        f.path = path;
    f.bytes = bytes;
    f.unflushed = false; // written by another program long ago
}

std::optional<std::string> SimMachine::fileContents(const String& path) const {
    Lock lk(impl_->m);
    auto it = impl_->files.find(normaliseFilePath(path));
    if (it == impl_->files.end())
        return std::nullopt;
    return it->second.bytes;
}

bool SimMachine::fileExists(const String& path) const {
    Lock lk(impl_->m);
    return impl_->files.count(normaliseFilePath(path)) != 0;
}

void SimMachine::createFolder(const String& path) {
    Lock lk(impl_->m);
    String key = normaliseFilePath(path);
    while (!key.empty() && key.back() == u'\\')
        key.pop_back();
    while (!key.empty()) {
        impl_->folders.insert(key);
        const auto slash = key.find_last_of(u'\\');
        key = slash == String::npos ? String() : key.substr(0, slash);
    }
}

std::vector<String> SimMachine::folderFiles(const String& folder) const {
    Lock lk(impl_->m);
    String prefix = normaliseFilePath(folder);
    while (!prefix.empty() && prefix.back() == u'\\')
        prefix.pop_back();
    prefix += u'\\';
    std::vector<String> out;
    for (auto it = impl_->files.lower_bound(prefix);
         it != impl_->files.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        if (it->first.find(u'\\', prefix.size()) == String::npos)
            out.push_back(it->second.path);
    return out;
}

void SimMachine::setFileFault(FileFault fault) {
    Lock lk(impl_->m);
    impl_->fileFaults.clear();
    impl_->readFaultsLeft = -1;
    if (fault != FileFault::None)
        impl_->fileFaults.insert(fault);
}

void SimMachine::addFileFault(FileFault fault) {
    Lock lk(impl_->m);
    if (fault != FileFault::None)
        impl_->fileFaults.insert(fault);
}

void SimMachine::spareReads(int opens) {
    Lock lk(impl_->m);
    impl_->sparedReads = std::max(opens, 0);
}

void SimMachine::limitReadFaults(int opens) {
    Lock lk(impl_->m);
    impl_->readFaultsLeft = opens;
}

} // namespace sim
