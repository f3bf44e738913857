// The Registry port: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE with RegOpenKeyExW,
// RegCreateKeyW, RegQueryValueExW, RegSetValueExW and friends, down to their error codes.
#include "sim_world.h"

#include "text.h"

#include <cstdio>
#include <cstring>

namespace sim {

RegKey* SimPc::Impl::rootKey(HKey root) {
    if (root == plat::HKCU)
        return &hkcu;
    if (root == plat::HKLM)
        return &hklm;
    return nullptr;
}

RegKey* SimPc::Impl::walk(RegKey* from, const std::vector<String>& path) const {
    RegKey* key = from;
    for (const auto& part : path) {
        if (!key)
            return nullptr;
        auto it = key->subkeys.find(foldCase(part));
        key = it == key->subkeys.end() ? nullptr : it->second.get();
    }
    return key;
}

// Access checks use a group only while it is enabled and not deny-only: a user whose token
// lists Administrators as deny-only (an elevation-filtered token) cannot write machine keys.
bool SimPc::Impl::tokenIsAdministrator() const {
    constexpr std::uint32_t kEnabled = 0x4;
    constexpr std::uint32_t kDenyOnly = 0x10;
    const plat::Sid admins = SimPc::administratorsSid();
    for (const auto& g : tokenGroups)
        if (g.sid == admins && (g.attributes & kEnabled) && !(g.attributes & kDenyOnly))
            return true;
    return false;
}

bool SimPc::Impl::hklmWritableNow() const {
    return hklmWritable ? *hklmWritable : tokenIsAdministrator();
}

namespace {

constexpr std::uint32_t kWriteAccess = win::kKeySetValue | win::kKeyCreateSubKey |
                                       win::kKeyCreateLink | win::kDelete | win::kWriteDac |
                                       win::kWriteOwner | win::kGenericWrite | win::kGenericAll;
constexpr std::uint32_t kReadAccess = win::kKeyQueryValue | win::kKeyEnumerateSubKeys |
                                      win::kGenericRead | win::kGenericAll | KEY_READ;

std::string rootName(HKey root) {
    return root == plat::HKLM ? "HKLM" : "HKCU";
}

std::string quoted(const std::u16string& text) {
    std::string out = "\"";
    for (char c : plat::toUtf8(text)) {
        if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

// A readable rendering of a value for the journal; odd sizes are shown, not hidden.
std::string describeValue(std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
    char buf[64];
    switch (type) {
    case REG_SZ:
    case win::kRegExpandSz: {
        std::u16string text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
            if (c == 0)
                break;
            text += c;
        }
        std::string s = std::string(type == REG_SZ ? "REG_SZ " : "REG_EXPAND_SZ ") + quoted(text);
        const std::size_t terminated = (text.size() + 1) * 2;
        if (bytes.size() != terminated)
            s += " (" + std::to_string(bytes.size()) + " bytes)";
        return s;
    }
    case REG_DWORD:
        if (bytes.size() == 4) {
            std::uint32_t v = 0;
            std::memcpy(&v, bytes.data(), 4);
            std::snprintf(buf, sizeof buf, "REG_DWORD %u", v);
            return buf;
        }
        break;
    default:
        break;
    }
    std::string s = type == REG_BINARY ? "REG_BINARY" : "type " + std::to_string(type);
    for (std::size_t i = 0; i < bytes.size() && i < 64; ++i) {
        std::snprintf(buf, sizeof buf, " %02X", bytes[i]);
        s += buf;
    }
    if (bytes.size() > 64)
        s += " ...";
    return s + " (" + std::to_string(bytes.size()) + " bytes)";
}

class RegistryPort final : public plat::Registry {
public:
    explicit RegistryPort(SimPc::Impl& w) : w_(w) {}

    // The open key `root` stands for and the names along `subkey`; 0, or the error the
    // call returns.
    std::int32_t locate(HKey root, const String& subkey, OpenKey& key, std::vector<String>& parts) {
        if (!resolve(root, key))
            return ERROR_INVALID_HANDLE;
        if (!splitPath(subkey, parts))
            return win::kErrorBadPathname;
        return ERROR_SUCCESS;
    }

    std::int32_t openKey(HKey root, const String& subkey, std::uint32_t access,
                         HKey& out) override {
        Lock lk(w_.m);
        out = 0;
        OpenKey base;
        std::vector<String> parts;
        if (const std::int32_t error = locate(root, subkey, base, parts))
            return error;
        OpenKey key = base;
        for (const auto& p : parts)
            key.path.push_back(foldCase(p));
        if (!w_.walk(w_.rootKey(key.root), key.path))
            return ERROR_FILE_NOT_FOUND;
        const bool wantsWrite = (access & kWriteAccess) != 0;
        if (wantsWrite && key.root == plat::HKLM && !w_.hklmWritableNow())
            return ERROR_ACCESS_DENIED;
        key.canRead = (access & kReadAccess) != 0;
        key.canWrite = wantsWrite;
        key.owner = w_.callerProcess(lk);
        out = add(key);
        return ERROR_SUCCESS;
    }

    // RegCreateKeyW asks for the most access the caller may have: an existing key under a
    // root the user may not write opens for reading; creating one there is refused.
    std::int32_t createKey(HKey root, const String& subkey, HKey& out) override {
        Lock lk(w_.m);
        out = 0;
        OpenKey key;
        std::vector<String> parts;
        if (const std::int32_t error = locate(root, subkey, key, parts))
            return error;
        // Creating needs write access to the parent; what the new handle may do depends on
        // where the key lives.
        const bool canCreate = key.canWrite;
        const bool writable = key.root != plat::HKLM || w_.hklmWritableNow();
        RegKey* node = w_.walk(w_.rootKey(key.root), key.path);
        if (!node)
            return win::kErrorKeyDeleted;
        std::string created;
        for (const auto& p : parts) {
            const String folded = foldCase(p);
            key.path.push_back(folded);
            auto it = node->subkeys.find(folded);
            if (it == node->subkeys.end()) {
                if (!canCreate || !writable)
                    return ERROR_ACCESS_DENIED;
                auto child = std::make_unique<RegKey>();
                child->name = p;
                it = node->subkeys.emplace(folded, std::move(child)).first;
                created = keyName(key);
            }
            node = it->second.get();
        }
        if (!created.empty())
            w_.journal("registry: created " + created);
        key.canRead = true;
        key.canWrite = writable;
        key.owner = w_.callerProcess(lk);
        out = add(key);
        return ERROR_SUCCESS;
    }

    std::int32_t queryValue(HKey handle, const String& name, std::uint32_t* type, void* data,
                            std::uint32_t* size) override {
        Lock lk(w_.m);
        OpenKey key;
        if (!resolve(handle, key))
            return ERROR_INVALID_HANDLE;
        if (!key.canRead)
            return ERROR_ACCESS_DENIED;
        if (data && !size)
            return ERROR_INVALID_PARAMETER;
        RegKey* node = w_.walk(w_.rootKey(key.root), key.path);
        if (!node)
            return win::kErrorKeyDeleted;
        auto it = node->values.find(foldCase(name));
        if (it == node->values.end())
            return ERROR_FILE_NOT_FOUND;
        const RegValue& v = it->second;
        const auto needed = static_cast<std::uint32_t>(v.bytes.size());
        if (type)
            *type = v.type;
        if (!data) {
            if (size)
                *size = needed;
            return ERROR_SUCCESS;
        }
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed)
            std::memcpy(data, v.bytes.data(), needed);
        *size = needed;
        return ERROR_SUCCESS;
    }

    std::int32_t setValue(HKey handle, const String& name, std::uint32_t type, const void* data,
                          std::uint32_t size) override {
        Lock lk(w_.m);
        OpenKey key;
        if (!resolve(handle, key))
            return ERROR_INVALID_HANDLE;
        if (!key.canWrite)
            return ERROR_ACCESS_DENIED;
        if (!data && size)
            return ERROR_INVALID_PARAMETER;
        RegKey* node = w_.walk(w_.rootKey(key.root), key.path);
        if (!node)
            return win::kErrorKeyDeleted;
        RegValue& v = node->values[foldCase(name)];
        if (v.name.empty())
            v.name = name;
        v.type = type;
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        v.bytes.assign(bytes, bytes + size);
        w_.journal("registry: " + keyName(key) + " " + quoted(name) + " = " +
                   describeValue(type, v.bytes));
        return ERROR_SUCCESS;
    }

    std::int32_t deleteValue(HKey handle, const String& name) override {
        Lock lk(w_.m);
        OpenKey key;
        if (!resolve(handle, key))
            return ERROR_INVALID_HANDLE;
        if (!key.canWrite)
            return ERROR_ACCESS_DENIED;
        RegKey* node = w_.walk(w_.rootKey(key.root), key.path);
        if (!node)
            return win::kErrorKeyDeleted;
        if (node->values.erase(foldCase(name)) == 0)
            return ERROR_FILE_NOT_FOUND;
        w_.journal("registry: deleted " + keyName(key) + " " + quoted(name));
        return ERROR_SUCCESS;
    }

    std::int32_t deleteKey(HKey root, const String& subkey) override {
        Lock lk(w_.m);
        OpenKey key;
        std::vector<String> parts;
        if (const std::int32_t error = locate(root, subkey, key, parts))
            return error;
        for (const auto& p : parts)
            key.path.push_back(foldCase(p));
        if (key.path.empty())
            return ERROR_ACCESS_DENIED; // a root is not deleted
        RegKey* parent = w_.walk(w_.rootKey(key.root), {key.path.begin(), key.path.end() - 1});
        RegKey* node = w_.walk(parent, {key.path.back()});
        if (!node)
            return ERROR_FILE_NOT_FOUND;
        if (key.root == plat::HKLM && !w_.hklmWritableNow())
            return ERROR_ACCESS_DENIED;
        if (!node->subkeys.empty())
            return ERROR_ACCESS_DENIED; // RegDeleteKeyW deletes leaves only
        const std::string name = keyName(key);
        parent->subkeys.erase(key.path.back());
        w_.journal("registry: deleted key " + name);
        return ERROR_SUCCESS;
    }

    std::int32_t closeKey(HKey handle) override {
        Lock lk(w_.m);
        if (handle == plat::HKCU || handle == plat::HKLM)
            return ERROR_SUCCESS;
        return w_.openKeys.erase(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }

private:
    // A predefined root or an open handle, as a root and a path (the key may since have been
    // deleted; callers check).
    bool resolve(HKey handle, OpenKey& out) const {
        if (handle == plat::HKCU || handle == plat::HKLM) {
            out = OpenKey{};
            out.root = handle;
            out.canRead = true;
            out.canWrite = handle != plat::HKLM || w_.hklmWritableNow();
            return true;
        }
        auto it = w_.openKeys.find(handle);
        if (it == w_.openKeys.end())
            return false;
        out = it->second;
        return true;
    }

    HKey add(const OpenKey& key) {
        const HKey h = w_.nextKey;
        w_.nextKey += 4;
        w_.openKeys[h] = key;
        return h;
    }

    // The key's path with the names as they were created.
    std::string keyName(const OpenKey& key) const {
        std::string s = rootName(key.root);
        const RegKey* node = w_.rootKey(key.root);
        for (const auto& part : key.path) {
            if (node) {
                auto it = node->subkeys.find(part);
                if (it != node->subkeys.end()) {
                    node = it->second.get();
                    s += "\\" + narrow(node->name);
                    continue;
                }
                node = nullptr;
            }
            s += "\\" + narrow(part);
        }
        return s;
    }

    SimPc::Impl& w_;
};

} // namespace

std::unique_ptr<plat::Registry> makeRegistryPort(SimPc::Impl& w) {
    return std::make_unique<RegistryPort>(w);
}

} // namespace sim
