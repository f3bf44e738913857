// Resources on the simulated PC come from the compiled KTRResource.rc, and the .res reader
// rejects damaged data instead of reading past it.
#include "resource.h"
#include "sim_pc.h"
#include "sim_res_builder.h"
#include "sim_resfile.h"

#include <gtest/gtest.h>

#include <memory>

extern const unsigned char qa_resource_blob[];
extern const std::size_t qa_resource_blob_size;

namespace {

class SimResources : public testing::Test {
protected:
    sim::SimPc pc;
    plat::Resources& res = *pc.bundle().resources;

    plat::String text(plat::Module module, std::uint32_t id) {
        plat::String s;
        EXPECT_TRUE(res.loadString(module, id, s)) << "string " << id;
        return s;
    }
};

TEST_F(SimResources, TheLibraryLoadsByItsBareNameUnlessItIsMissing) {
    const plat::Module library = res.loadLibrary(u"KTRResource.dll");
    EXPECT_NE(library, 0u);
    EXPECT_EQ(res.loadLibrary(u"ktrresource"), library) << "no extension means .dll";
    EXPECT_EQ(res.loadLibrary(u"dsound.dll"), 0u);
    EXPECT_NE(res.programModule(), library);

    sim::SimPc bare;
    bare.setResourceLibraryPresent(false);
    plat::Resources& other = *bare.bundle().resources;
    EXPECT_EQ(other.loadLibrary(u"KTRResource.dll"), 0u);
    plat::String s;
    EXPECT_TRUE(other.loadString(other.programModule(), IDS_CONTROLLER_TITLE, s))
        << "the program's own copy";
    EXPECT_FALSE(other.loadString(library, IDS_CONTROLLER_TITLE, s))
        << "a library that was never loaded";
}

TEST_F(SimResources, StringsComeFromTheStringTable) {
    const plat::Module library = res.loadLibrary(u"KTRResource.dll");
    EXPECT_EQ(text(library, IDS_CONTROLLER_TITLE), u"QuorvaneAuravoSystemTrayApplication");
    EXPECT_EQ(text(library, IDS_TRAY_TIP), u"Quorvane Auravo\u2122");
    EXPECT_EQ(text(res.programModule(), IDS_BUTTON_NO), u"No");
    EXPECT_EQ(text(library, IDS_RESTART_APPS_TEXT).substr(0, 8), u"You must");
    plat::String s = u"stale";
    EXPECT_FALSE(res.loadString(library, IDS_WINAMP_OUTPUT_TEXT + 1, s));
    EXPECT_TRUE(s.empty());
    EXPECT_FALSE(res.loadString(library, 0x10000 + IDS_CONTROLLER_TITLE, s)) << "ids are 16-bit";
    EXPECT_FALSE(res.loadString(0x1234, IDS_CONTROLLER_TITLE, s));
}

TEST_F(SimResources, IconsAndTheBitmapLoadAsDistinctHandles) {
    const plat::Module library = res.loadLibrary(u"KTRResource.dll");
    const plat::HIcon app = res.loadIcon(library, IDR_MAINFRAME);
    const plat::HIcon idle = res.loadIcon(library, IDI_TRAY_NOTLINKED);
    const plat::HIcon linked = res.loadIcon(library, IDI_TRAY_LINKED);
    EXPECT_NE(app, 0u);
    EXPECT_NE(idle, 0u);
    EXPECT_NE(linked, 0u);
    EXPECT_NE(app, idle);
    EXPECT_NE(idle, linked);
    EXPECT_EQ(res.loadIcon(library, IDI_TRAY_LINKED), linked) << "LoadIcon shares its handle";
    EXPECT_EQ(pc.iconResourceId(linked), IDI_TRAY_LINKED);
    EXPECT_EQ(res.loadIcon(library, IDR_TRAYMENU), 0u);
    EXPECT_NE(res.loadBitmap(library, IDB_ABOUT), 0u);
    EXPECT_EQ(res.loadBitmap(library, IDI_TRAY_LINKED), 0u) << "an icon is not a bitmap";
}

// Loads `size` bytes from a buffer of exactly that size, so a sanitizer sees any overread.
std::optional<sim::res::ResourceSet> loadCut(const std::uint8_t* data, std::size_t size,
                                             std::string& error) {
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size ? size : 1]);
    std::copy(data, data + size, copy.get());
    return sim::res::ResourceSet::fromBytes(copy.get(), size, error);
}

TEST(SimResFile, ATruncatedResourceFileIsRejectedNeverReadPast) {
    std::string error;
    const auto whole = loadCut(qa_resource_blob, qa_resource_blob_size, error);
    ASSERT_TRUE(whole.has_value()) << error;
    plat::String title;
    ASSERT_TRUE(whole->loadString(IDS_CONTROLLER_TITLE, title));

    // The last entry (an icon group) is followed by at most 3 bytes of padding.
    EXPECT_FALSE(loadCut(qa_resource_blob, qa_resource_blob_size - 8, error))
        << "inside the last entry";
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(loadCut(qa_resource_blob, 40, error)) << "inside the second header";
    std::size_t accepted = 0;
    for (std::size_t cut = 0; cut < qa_resource_blob_size; cut += 7) {
        const auto part = loadCut(qa_resource_blob, cut, error);
        if (!part)
            continue;
        ++accepted; // only a cut between two entries is a well-formed, shorter file
        EXPECT_LE(part->entryCount(), whole->entryCount());
        plat::String s;
        if (part->loadString(IDS_CONTROLLER_TITLE, s)) {
            EXPECT_EQ(s, title) << "a string is whole or absent, at cut " << cut;
        }
    }
    EXPECT_LT(accepted, qa_resource_blob_size / 7 / 10);
}

TEST(SimResFile, SizesThatPointOutsideTheFileAreRejected) {
    simtest::ResFile file;
    file.strings(9, {u"x"});
    const std::vector<std::uint8_t> good = file.bytes();
    std::vector<sim::res::ResEntry> entries;
    std::string error;
    ASSERT_TRUE(sim::res::parseResFile(good.data(), good.size(), entries, error)) << error;
    ASSERT_EQ(entries.size(), 1u);

    auto patched = [&](std::size_t at, std::uint32_t value) {
        std::vector<std::uint8_t> b = good;
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        return sim::res::parseResFile(b.data(), b.size(), entries, error);
    };
    EXPECT_FALSE(patched(32, 0xFFFFFFF0u)) << "data size";
    EXPECT_FALSE(patched(36, 0xFFFFFFF0u)) << "header size";
    EXPECT_FALSE(patched(36, 8u)) << "a header too small for its own fields";
    EXPECT_TRUE(entries.empty());
}

TEST(SimResFile, DialogTemplatesOfBothKindsAreReadAndTruncationIsRejected) {
    using simtest::Control;
    for (bool extended : {true, false}) {
        const auto bytes = simtest::dialogTemplate(extended, 0x10C80000, 0x40000, u"Caption",
                                                   {Control{0x80, 1, u"OK", 0x50010001},
                                                    Control{0x83, 1002, u"", 0x50000002},
                                                    Control{0x82, -1, u"Label", 0x50000000}});
        sim::res::DialogTemplate t;
        ASSERT_TRUE(sim::res::parseDialogTemplate(bytes.data(), bytes.size(), t)) << extended;
        EXPECT_EQ(t.extended, extended);
        EXPECT_EQ(t.caption, u"Caption");
        EXPECT_EQ(t.exStyle, 0x40000u);
        ASSERT_EQ(t.items.size(), 3u);
        EXPECT_EQ(t.items[0].className, u"Button");
        EXPECT_EQ(t.items[0].text, u"OK");
        EXPECT_EQ(t.items[1].className, u"ListBox");
        EXPECT_EQ(t.items[1].id, 1002);
        EXPECT_EQ(t.items[2].id, -1);
        EXPECT_EQ(t.items[2].className, u"Static");

        for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
            std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[cut ? cut : 1]);
            std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut), copy.get());
            EXPECT_FALSE(sim::res::parseDialogTemplate(copy.get(), cut, t)) << "cut at " << cut;
        }
    }
    // A control count the data cannot hold.
    auto bytes = simtest::dialogTemplate(true, 0x10C80000, 0, u"C", {Control{0x80, 1, u"OK", 0}});
    bytes[16] = 0xFF;
    bytes[17] = 0xFF;
    sim::res::DialogTemplate t;
    EXPECT_FALSE(sim::res::parseDialogTemplate(bytes.data(), bytes.size(), t));
}

TEST(SimResFile, MenuTemplatesNestAndHostileNestingIsRefused) {
    using simtest::MenuEntry;
    const auto bytes =
        simtest::menuTemplate({MenuEntry{u"Tray",
                                         0,
                                         {MenuEntry{u"&Settings", 32772, {}}, MenuEntry{u"", 0, {}},
                                          MenuEntry{u"E&xit", 32775, {}}}}});
    std::vector<sim::res::MenuTemplateItem> items;
    ASSERT_TRUE(sim::res::parseMenuTemplate(bytes.data(), bytes.size(), items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_TRUE(items[0].popup);
    ASSERT_EQ(items[0].children.size(), 3u);
    EXPECT_EQ(items[0].children[0].id, 32772u);
    EXPECT_TRUE(items[0].children[1].separator);
    EXPECT_EQ(items[0].children[2].text, u"E&xit");

    EXPECT_FALSE(sim::res::parseMenuTemplate(bytes.data(), bytes.size() - 2, items))
        << "no end marker";

    // Popups inside popups far deeper than any menu: refused, not recursed without end.
    simtest::Bytes deep;
    deep.u16(0).u16(0);
    for (int i = 0; i < 10000; ++i)
        deep.u16(0x10 | 0x80).text(u"p");
    EXPECT_FALSE(sim::res::parseMenuTemplate(deep.data.data(), deep.data.size(), items));
}

TEST_F(SimResources, ASimulatedPcWithDamagedResourcesHasNone) {
    std::vector<std::uint8_t> cut(qa_resource_blob,
                                  qa_resource_blob + qa_resource_blob_size / 2 + 3);
    EXPECT_FALSE(pc.setResourceBlob(cut));
    plat::String s;
    EXPECT_FALSE(res.loadString(res.programModule(), IDS_CONTROLLER_TITLE, s));
    EXPECT_EQ(res.loadIcon(res.programModule(), IDR_MAINFRAME), 0u);
    pc.install();
    EXPECT_EQ(
        plat::ui().dialogBox(res.programModule(), IDD_KTRSYSTEMTRAYAPPLICATION_DIALOG, 0, nullptr),
        -1);
}

} // namespace
