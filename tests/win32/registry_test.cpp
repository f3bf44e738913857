// The registry port against Wine's registry.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32_test_support.h"

namespace {

using plat::String;

class RegistryPort : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = L"Software\\" + qa_test::uniqueName(L"QuorvaneAuravoWin32Test");
        nested_ = root_ + L"\\Quorvane Auravo Settings\\Preferences";
    }
    // Removed with the API itself, so a failing test leaves nothing behind either.
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str()); }

    plat::Registry& registry = plat::registry();
    std::wstring root_;
    std::wstring nested_;
};

TEST_F(RegistryPort, CreatesNestedKeysAndRoundTripsValues) {
    plat::HKey key = 0;
    ASSERT_EQ(registry.createKey(plat::HKCU, qa_test::u16(nested_), key), ERROR_SUCCESS);
    ASSERT_NE(key, 0u);

    // "True" with its terminator: 5 UTF-16 code units, 10 bytes.
    const String text = u"True";
    ASSERT_EQ(registry.setValue(key, u"Show Tray Icon", REG_SZ, text.c_str(), 10), ERROR_SUCCESS);
    const std::uint32_t dword = 0x89ABCDEF;
    ASSERT_EQ(registry.setValue(key, u"Count", REG_DWORD, &dword, sizeof(dword)), ERROR_SUCCESS);
    ASSERT_EQ(registry.closeKey(key), ERROR_SUCCESS);

    // Reopened through a differently cased path: the program spells its key both ways.
    std::wstring upper = nested_;
    upper.replace(0, 8, L"SOFTWARE");
    ASSERT_EQ(registry.openKey(plat::HKCU, qa_test::u16(upper), KEY_READ, key), ERROR_SUCCESS);

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    ASSERT_EQ(registry.queryValue(key, u"Show Tray Icon", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 10u);

    char16_t small[2] = {};
    size = sizeof(small);
    EXPECT_EQ(registry.queryValue(key, u"Show Tray Icon", &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 10u);

    char16_t buffer[16] = {};
    size = sizeof(buffer);
    ASSERT_EQ(registry.queryValue(key, u"Show Tray Icon", &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(String(buffer), u"True");

    std::uint32_t readBack = 0;
    size = sizeof(readBack);
    ASSERT_EQ(registry.queryValue(key, u"count", &type, &readBack, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(readBack, dword);
    EXPECT_EQ(registry.closeKey(key), ERROR_SUCCESS);
}

// The program writes its preferences through keys it opens with openKey and KEY_ALL_ACCESS;
// the access asked for must reach Windows.
TEST_F(RegistryPort, AKeyOpenedForWritingCanBeWrittenAndOneOpenedForReadingCannot) {
    plat::HKey key = 0;
    ASSERT_EQ(registry.createKey(plat::HKCU, qa_test::u16(root_), key), ERROR_SUCCESS);
    registry.closeKey(key);

    ASSERT_EQ(registry.openKey(plat::HKCU, qa_test::u16(root_), KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    const String text = u"False";
    EXPECT_EQ(registry.setValue(key, u"Show Tray Icon", REG_SZ, text.c_str(), 12), ERROR_SUCCESS);
    registry.closeKey(key);
    wchar_t stored[16] = {};
    DWORD size = sizeof(stored);
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, root_.c_str(), L"Show Tray Icon", RRF_RT_REG_SZ,
                             nullptr, stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(stored), L"False");

    ASSERT_EQ(registry.openKey(plat::HKCU, qa_test::u16(root_), KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(registry.setValue(key, u"Show Tray Icon", REG_SZ, text.c_str(), 12),
              ERROR_ACCESS_DENIED);
    registry.closeKey(key);
}

TEST_F(RegistryPort, MissingKeysAndValuesReportFileNotFound) {
    plat::HKey key = 12345;
    EXPECT_EQ(registry.openKey(plat::HKCU, qa_test::u16(root_ + L"\\NoSuchKey"), KEY_READ, key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, 0u);

    ASSERT_EQ(registry.createKey(plat::HKCU, qa_test::u16(root_), key), ERROR_SUCCESS);
    std::uint32_t size = 0;
    EXPECT_EQ(registry.queryValue(key, u"NoSuchValue", nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.deleteValue(key, u"NoSuchValue"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.closeKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryPort, DeletesValuesAndKeys) {
    plat::HKey key = 0;
    ASSERT_EQ(registry.createKey(plat::HKCU, qa_test::u16(nested_), key), ERROR_SUCCESS);
    const std::uint32_t one = 1;
    ASSERT_EQ(registry.setValue(key, u"Musicmatch", REG_DWORD, &one, sizeof(one)), ERROR_SUCCESS);
    EXPECT_EQ(registry.deleteValue(key, u"Musicmatch"), ERROR_SUCCESS);
    std::uint32_t size = 0;
    EXPECT_EQ(registry.queryValue(key, u"Musicmatch", nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(registry.closeKey(key), ERROR_SUCCESS);

    // Leaf first: RegDeleteKeyW removes only keys without subkeys.
    const std::wstring middle = root_ + L"\\Quorvane Auravo Settings";
    EXPECT_EQ(registry.deleteKey(plat::HKCU, qa_test::u16(nested_)), ERROR_SUCCESS);
    EXPECT_EQ(registry.deleteKey(plat::HKCU, qa_test::u16(middle)), ERROR_SUCCESS);
    EXPECT_EQ(registry.deleteKey(plat::HKCU, qa_test::u16(root_)), ERROR_SUCCESS);
    EXPECT_EQ(registry.openKey(plat::HKCU, qa_test::u16(root_), KEY_READ, key),
              ERROR_FILE_NOT_FOUND);
}

// HKLM is read by the program (the mouse's double-click speed); its root must reach the
// real predefined key, whose 64-bit value is not the seam's 32-bit one.
TEST_F(RegistryPort, MachineRootIsTheRealPredefinedKey) {
    plat::HKey key = 0;
    ASSERT_EQ(registry.openKey(plat::HKLM, u"Software\\Microsoft\\Windows NT\\CurrentVersion",
                               KEY_READ, key),
              ERROR_SUCCESS);
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(registry.queryValue(key, u"CurrentVersion", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_GT(size, 2u);
    EXPECT_EQ(registry.closeKey(key), ERROR_SUCCESS);
}

} // namespace
