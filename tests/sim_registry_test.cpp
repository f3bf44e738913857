// The simulated registry behaves as RegOpenKeyExW, RegCreateKeyW, RegQueryValueExW and
// RegSetValueExW do, down to the error codes and byte counts the program depends on.
#include "sim_pc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

const plat::String kPrefs = u"SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences\\";

class SimRegistry : public testing::Test {
protected:
    sim::SimPc pc;
    plat::Registry& reg = *pc.bundle().registry;

    // "True" as RegSetValueExW receives it from the program: with its terminator.
    static std::vector<std::uint8_t> sz(const plat::String& text) {
        std::vector<std::uint8_t> bytes((text.size() + 1) * 2, 0);
        std::memcpy(bytes.data(), text.c_str(), text.size() * 2);
        return bytes;
    }

    plat::HKey open(plat::HKey root, const plat::String& path, std::uint32_t access) {
        plat::HKey key = 0;
        EXPECT_EQ(reg.openKey(root, path, access, key), static_cast<std::int32_t>(ERROR_SUCCESS));
        return key;
    }
};

TEST_F(SimRegistry, CreateMakesEveryParentAndNamesAreCaseInsensitiveButKeepTheirCase) {
    plat::HKey key = 0;
    ASSERT_EQ(reg.createKey(plat::HKCU, kPrefs, key), static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_NE(key, 0u);
    EXPECT_TRUE(pc.keyExists(plat::HKCU, u"SOFTWARE\\Quorvane"));
    EXPECT_FALSE(pc.keyExists(plat::HKLM, u"SOFTWARE\\Quorvane"));

    const auto bytes = sz(u"True");
    ASSERT_EQ(reg.setValue(key, u"Show Tray Icon", REG_SZ, bytes.data(),
                           static_cast<std::uint32_t>(bytes.size())),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_EQ(reg.closeKey(key), static_cast<std::int32_t>(ERROR_SUCCESS));

    // The program spells the same key "Software\..." elsewhere, without the trailing backslash.
    const plat::HKey again =
        open(plat::HKCU, u"software\\QUORVANE\\quorvane auravo settings\\preferences", KEY_READ);
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(reg.queryValue(again, u"SHOW TRAY ICON", &type, nullptr, &size),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 10u);
    reg.closeKey(again);

    const auto journal = pc.journal();
    EXPECT_NE(
        std::find(
            journal.begin(), journal.end(),
            "registry: created HKCU\\SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences"),
        journal.end());
    EXPECT_EQ(journal.back(),
              "registry: HKCU\\SOFTWARE\\Quorvane\\Quorvane Auravo Settings\\Preferences "
              "\"Show Tray Icon\" = REG_SZ \"True\"");
}

TEST_F(SimRegistry, QueryFollowsRegQueryValueExSizeRules) {
    pc.setString(plat::HKCU, kPrefs, u"Enable Advanced Menu", u"False");
    const plat::HKey key = open(plat::HKCU, kPrefs, KEY_READ);

    std::uint32_t size = 0;
    std::uint32_t type = 0;
    ASSERT_EQ(reg.queryValue(key, u"Enable Advanced Menu", &type, nullptr, &size),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_EQ(size, 12u); // five characters and the terminator

    char16_t small[3] = {u'x', u'x', u'x'};
    size = sizeof small;
    EXPECT_EQ(reg.queryValue(key, u"Enable Advanced Menu", &type, small, &size),
              static_cast<std::int32_t>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(small[0], u'x') << "nothing is copied when the data does not fit";

    char16_t exact[6] = {};
    size = sizeof exact;
    ASSERT_EQ(reg.queryValue(key, u"Enable Advanced Menu", &type, exact, &size),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(plat::String(exact), u"False");

    EXPECT_EQ(reg.queryValue(key, u"Enable Advanced Menu", &type, exact, nullptr),
              static_cast<std::int32_t>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(reg.queryValue(key, u"Musicmatch", &type, nullptr, &size),
              static_cast<std::int32_t>(ERROR_FILE_NOT_FOUND));
    reg.closeKey(key);
}

TEST_F(SimRegistry, StoresExactlyTheBytesGiven) {
    plat::HKey key = 0;
    ASSERT_EQ(reg.createKey(plat::HKCU, kPrefs, key), static_cast<std::int32_t>(ERROR_SUCCESS));
    // Eight bytes: "True" without its terminator, a classic off-by-two.
    const auto bytes = sz(u"True");
    ASSERT_EQ(reg.setValue(key, u"Musicmatch", REG_SZ, bytes.data(), 8),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    const auto stored = pc.value(plat::HKCU, kPrefs, u"musicmatch");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->second, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 8));
    EXPECT_EQ(pc.journal().back(), "registry: HKCU\\SOFTWARE\\Quorvane\\Quorvane Auravo "
                                   "Settings\\Preferences \"Musicmatch\" = "
                                   "REG_SZ \"True\" (8 bytes)");

    const std::uint32_t dword = 0x01020304;
    ASSERT_EQ(reg.setValue(key, u"Count", REG_DWORD, &dword, 4),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_EQ(pc.dwordValue(plat::HKCU, kPrefs, u"COUNT"), dword);
    reg.closeKey(key);
}

TEST_F(SimRegistry, MissingKeysHandlesAndBadPathsGiveWin32Errors) {
    plat::HKey key = 77;
    EXPECT_EQ(reg.openKey(plat::HKCU, u"Software\\Nobody", KEY_READ, key),
              static_cast<std::int32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(key, 0u);
    EXPECT_NE(reg.openKey(plat::HKCU, u"\\Software", KEY_READ, key),
              static_cast<std::int32_t>(ERROR_SUCCESS));

    std::uint32_t size = 0;
    EXPECT_EQ(reg.queryValue(0xBAD0, u"x", nullptr, nullptr, &size),
              static_cast<std::int32_t>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(reg.closeKey(0xBAD0), static_cast<std::int32_t>(ERROR_INVALID_HANDLE));

    pc.createKey(plat::HKCU, u"Software\\A");
    key = open(plat::HKCU, u"Software\\A", KEY_READ);
    EXPECT_EQ(reg.closeKey(key), static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_EQ(reg.closeKey(key), static_cast<std::int32_t>(ERROR_INVALID_HANDLE))
        << "a closed handle is gone";
}

TEST_F(SimRegistry, ReadHandlesCannotWriteAndDeletedKeysAreReported) {
    pc.setString(plat::HKCU, u"Software\\A\\B", u"v", u"1");
    const plat::HKey readOnly = open(plat::HKCU, u"Software\\A\\B", KEY_READ);
    const std::uint32_t one = 1;
    EXPECT_EQ(reg.setValue(readOnly, u"v", REG_DWORD, &one, 4),
              static_cast<std::int32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(reg.deleteValue(readOnly, u"v"), static_cast<std::int32_t>(ERROR_ACCESS_DENIED));

    // RegDeleteKeyW deletes leaves only.
    EXPECT_EQ(reg.deleteKey(plat::HKCU, u"Software\\A"),
              static_cast<std::int32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(reg.deleteKey(plat::HKCU, u"Software\\a\\b"),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_FALSE(pc.keyExists(plat::HKCU, u"Software\\A\\B"));
    EXPECT_EQ(reg.deleteKey(plat::HKCU, u"Software\\A\\B"),
              static_cast<std::int32_t>(ERROR_FILE_NOT_FOUND));

    std::uint32_t size = 0;
    const auto onDeleted = reg.queryValue(readOnly, u"v", nullptr, nullptr, &size);
    EXPECT_NE(onDeleted, static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_NE(onDeleted, static_cast<std::int32_t>(ERROR_INVALID_HANDLE))
        << "the handle itself stays valid";
    reg.closeKey(readOnly);

    const plat::HKey writable = open(plat::HKCU, u"Software\\A", KEY_ALL_ACCESS);
    pc.setString(plat::HKCU, u"Software\\A", u"gone", u"x");
    EXPECT_EQ(reg.deleteValue(writable, u"GONE"), static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_EQ(reg.deleteValue(writable, u"gone"), static_cast<std::int32_t>(ERROR_FILE_NOT_FOUND));
    reg.closeKey(writable);
}

TEST_F(SimRegistry, MachineKeysRefuseWritesWhenTheUserMayNotWriteThem) {
    const plat::String mouse = u"Control Panel\\Mouse\\";
    pc.setString(plat::HKLM, mouse, u"DoubleClickSpeed", u"500");

    // By default the user is an administrator and may write.
    plat::HKey key = 0;
    ASSERT_EQ(reg.openKey(plat::HKLM, mouse, KEY_ALL_ACCESS, key),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    reg.closeKey(key);

    pc.setHklmWritable(false);
    EXPECT_EQ(reg.openKey(plat::HKLM, mouse, KEY_ALL_ACCESS, key),
              static_cast<std::int32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(key, 0u);
    key = open(plat::HKLM, mouse, KEY_READ);
    char16_t text[10] = {};
    std::uint32_t size = sizeof text;
    EXPECT_EQ(reg.queryValue(key, u"DoubleClickSpeed", nullptr, text, &size),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    EXPECT_EQ(plat::String(text), u"500");
    reg.closeKey(key);

    // RegCreateKeyW opens what exists for reading only and cannot create anything new.
    ASSERT_EQ(reg.createKey(plat::HKLM, mouse, key), static_cast<std::int32_t>(ERROR_SUCCESS));
    const std::uint32_t one = 1;
    EXPECT_EQ(reg.setValue(key, u"x", REG_DWORD, &one, 4),
              static_cast<std::int32_t>(ERROR_ACCESS_DENIED));
    reg.closeKey(key);
    EXPECT_EQ(reg.createKey(plat::HKLM, u"Software\\New", key),
              static_cast<std::int32_t>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(pc.keyExists(plat::HKLM, u"Software\\New"));
}

TEST_F(SimRegistry, WithoutAnExplicitSettingMachineWritesFollowAdministratorMembership) {
    pc.setTokenGroups({{sim::SimPc::usersSid(), 7}});
    plat::HKey key = 0;
    EXPECT_EQ(reg.createKey(plat::HKLM, u"Software\\New", key),
              static_cast<std::int32_t>(ERROR_ACCESS_DENIED));
    // A filtered token lists Administrators for deny only: no write access to machine keys.
    pc.setTokenGroups({{sim::SimPc::administratorsSid(), 0x10}});
    EXPECT_EQ(reg.createKey(plat::HKLM, u"Software\\New", key),
              static_cast<std::int32_t>(ERROR_ACCESS_DENIED));
    pc.setTokenGroups({{sim::SimPc::administratorsSid(), 0x7}});
    EXPECT_EQ(reg.createKey(plat::HKLM, u"Software\\New", key),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    reg.closeKey(key);
    // The user's own hive is always writable.
    pc.setHklmWritable(false);
    EXPECT_EQ(reg.createKey(plat::HKCU, u"Software\\New", key),
              static_cast<std::int32_t>(ERROR_SUCCESS));
    reg.closeKey(key);
}

} // namespace
