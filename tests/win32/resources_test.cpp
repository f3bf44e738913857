// The resources port: the program's own string table (the test program links the
// program's resource script) and the resource-only library next to it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "resource.h"
#include "shown_texts.h"
#include "text.h"
#include "win32_test_support.h"

namespace {

using plat::String;

plat::Module resourceLibrary() {
    // Loaded once and kept, as the program keeps it.
    static const plat::Module library = plat::resources().loadLibrary(u"KTRResource.dll");
    return library;
}

TEST(ResourcesPort, ProgramModuleHoldsTheStringTable) {
    plat::Resources& resources = plat::resources();
    const plat::Module program = resources.programModule();
    ASSERT_NE(program, 0u);

    String text;
    ASSERT_TRUE(resources.loadString(program, IDS_CONTROLLER_TITLE, text));
    EXPECT_EQ(text, shown::controllerTitle);
    ASSERT_TRUE(resources.loadString(program, IDS_TRAY_TIP, text));
    EXPECT_EQ(text, u"Quorvane Auravo\u2122");
    // Longer than any fixed buffer a caller would guess, with a line break inside.
    ASSERT_TRUE(resources.loadString(program, IDS_NO_RIGHTS_TEXT, text));
    EXPECT_EQ(text.substr(0, 25), u"Current operation cannot ");
    EXPECT_NE(text.find(u"permissions.\nPlease login"), String::npos);
    EXPECT_EQ(text.back(), u'.');

    text = u"unchanged";
    EXPECT_FALSE(resources.loadString(program, 9999, text));
}

// The program's own file as a full path, as the help file is looked for beside it.
TEST(ResourcesPort, ProgramFileIsTheFullPathOfTheProgram) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    EXPECT_EQ(plat::resources().programFile(), qa_test::u16(self));
    EXPECT_EQ(plat::resources().programFile(),
              qa_test::u16(qa_test::testDirectory() + L"qa_win32_tests.exe"));
}

// From the program's folder, as a data file: its resources serve, but it is not a module
// of the process (none of its code could run).
TEST(ResourcesPort, ResourceLibraryLoadsFromTheProgramFolderAsData) {
    const plat::Module library = resourceLibrary();
    ASSERT_NE(library, 0u);
    EXPECT_NE(library, plat::resources().programModule());
    EXPECT_EQ(::GetModuleHandleW(L"KTRResource.dll"), nullptr) << "loaded as a module";

    String text;
    ASSERT_TRUE(plat::resources().loadString(library, IDS_CONTROLLER_TITLE, text));
    EXPECT_EQ(text, shown::controllerTitle);
    ASSERT_TRUE(plat::resources().loadString(library, IDS_BUTTON_YES, text));
    EXPECT_EQ(text, shown::yes);

    EXPECT_EQ(plat::resources().loadLibrary(u"QuorvaneAuravoNoSuchLibrary.dll"), 0u);
}

// The library carries resources only: no code runs when it loads.
TEST(ResourcesPort, ResourceLibraryHasNoEntryPoint) {
    const plat::Module library = resourceLibrary();
    ASSERT_NE(library, 0u);
    // A data-file handle is its mapping's address with a low bit or two set.
    const auto* base = reinterpret_cast<const BYTE*>(library & ~plat::Module{3});
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    EXPECT_EQ(nt->OptionalHeader.AddressOfEntryPoint, 0u);
    // The linker may leave an import table, but one that names no library.
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.Size >= sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* first =
            reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
        EXPECT_EQ(first->Name, 0u);
    }
}

// The tray icon is drawn at the notification area's size for the DPI, from its own image in
// the icon resource, not LoadIcon's large image.
TEST(ResourcesPort, SmallIconsComeAtTheSmallIconSizeOfTheDpi) {
    plat::Resources& resources = plat::resources();
    const int small = ::GetSystemMetrics(SM_CXSMICON);
    ASSERT_GT(small, 0);
    ASSERT_NE(small, ::GetSystemMetrics(SM_CXICON));
    HWND window = ::CreateWindowExW(0, L"STATIC", L"qa-dpi", WS_POPUP, 0, 0, 10, 10, nullptr,
                                    nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto dpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT dpi = dpiForWindow ? dpiForWindow(window) : 96;
    for (const plat::Module module : {resources.programModule(), resourceLibrary()}) {
        for (const int id : {IDI_TRAY_NOTLINKED, IDI_TRAY_LINKED}) {
            const plat::HIcon icon = resources.loadSmallIcon(module, id, 0);
            EXPECT_EQ(qa_test::iconWidth(reinterpret_cast<HICON>(icon)), small);
            EXPECT_EQ(resources.loadSmallIcon(module, id, 0), icon) << "loaded once and kept";
            const plat::HIcon forWindow =
                resources.loadSmallIcon(module, id, plat::win32::fromHwnd(window));
            EXPECT_EQ(qa_test::iconWidth(reinterpret_cast<HICON>(forWindow)),
                      ::MulDiv(16, static_cast<int>(dpi), 96));
        }
        EXPECT_EQ(resources.loadSmallIcon(module, 9999, 0), 0u);
    }
    ::DestroyWindow(window);
}

// Every icon of the shipped program and library, read back from their files, carries each size
// Windows shows: the notification area's 16 to 32 (and 48 at 300 %), 48 and 256 for the Start
// menu, the Apps list, Explorer and the installer; and its largest images load at their size.
TEST(ResourcesPort, ShippedIconsCarryEverySizeWindowsShows) {
    const std::vector<int> sizes = {16, 20, 24, 32, 48, 256};
    for (const std::wstring file : {L"QuorvaneAuravo.exe", L"KTRResource.dll"}) {
        SCOPED_TRACE(plat::toNarrow(qa_test::u16(file)));
        const HMODULE module =
            ::LoadLibraryExW((qa_test::testDirectory() + file).c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << ::GetLastError();
        for (const int id : {IDR_MAINFRAME, IDI_TRAY_NOTLINKED, IDI_TRAY_LINKED}) {
            SCOPED_TRACE(id);
            const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
            ASSERT_NE(found, nullptr);
            const auto* group =
                static_cast<const BYTE*>(::LockResource(::LoadResource(module, found)));
            const DWORD bytes = ::SizeofResource(module, found);
            // GRPICONDIR: reserved, type and count (3 WORDs), then 14-byte entries whose first
            // byte is the width, 0 for 256.
            ASSERT_TRUE(group && bytes >= 6);
            const int count = group[4] | group[5] << 8;
            ASSERT_GE(bytes, 6u + 14u * static_cast<DWORD>(count));
            std::vector<int> listed;
            for (int i = 0; i < count; ++i)
                listed.push_back(group[6 + 14 * i] ? group[6 + 14 * i] : 256);
            std::sort(listed.begin(), listed.end());
            EXPECT_EQ(listed, sizes);
            for (const int size : {48, 256}) {
                const auto icon = static_cast<HICON>(
                    ::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
                EXPECT_EQ(qa_test::iconWidth(icon), size);
                if (icon)
                    ::DestroyIcon(icon);
            }
        }
        ::FreeLibrary(module);
    }
}

TEST(ResourcesPort, IconsAndBitmapLoadFromBothModules) {
    plat::Resources& resources = plat::resources();
    for (const plat::Module module : {resources.programModule(), resourceLibrary()}) {
        SCOPED_TRACE(module == resources.programModule() ? "program" : "KTRResource.dll");
        ASSERT_NE(module, 0u);
        EXPECT_NE(resources.loadIcon(module, IDR_MAINFRAME), 0u);
        EXPECT_NE(resources.loadIcon(module, IDI_TRAY_NOTLINKED), 0u);
        EXPECT_NE(resources.loadIcon(module, IDI_TRAY_LINKED), 0u);
        EXPECT_EQ(resources.loadIcon(module, IDI_TRAY_LINKED),
                  resources.loadIcon(module, IDI_TRAY_LINKED))
            << "one icon per module and id, however often it is asked for";
        EXPECT_EQ(resources.loadIcon(module, 9999), 0u);

        const plat::HBitmap bitmap = resources.loadBitmap(module, IDB_ABOUT);
        ASSERT_NE(bitmap, 0u);
        BITMAP info{};
        ASSERT_EQ(::GetObjectW(reinterpret_cast<HBITMAP>(bitmap), sizeof(info), &info),
                  int(sizeof(info)));
        EXPECT_GT(info.bmWidth, 0);
        EXPECT_GT(info.bmHeight, 0);
        ::DeleteObject(reinterpret_cast<HBITMAP>(bitmap));
        EXPECT_EQ(resources.loadBitmap(module, 9999), 0u);
    }
}

} // namespace
