// The audio port against Wine's dsound.dll and winmm: the four set-up steps of an
// enumeration pass, the enumeration itself, and the mixer names.
#include <windows.h>

#include <gtest/gtest.h>

#include "win32_test_support.h"

namespace {

TEST(AudioPort, PrivateEnumerationSetsUpAndReleases) {
    plat::Audio& audio = plat::audio();
    const plat::Module dsound = audio.loadDsound();
    ASSERT_NE(dsound, 0u);
    ASSERT_TRUE(audio.hasDllGetClassObject(dsound));
    const plat::Handle factory = audio.getClassFactory(dsound);
    ASSERT_NE(factory, 0u);
    const plat::Handle propertySet = audio.createPropertySet(factory);
    ASSERT_NE(propertySet, 0u);

    std::vector<plat::DsDeviceDescription> records;
    EXPECT_TRUE(audio.enumerateDevices(propertySet, [&](const plat::DsDeviceDescription& d) {
        records.push_back(d);
        return true;
    }));
    // Wine leaves each record's type, data flow and wave device id uninitialised: nothing is
    // asserted on them here.
    for (const auto& d : records)
        EXPECT_FALSE(d.description.empty());

    audio.release(propertySet);
    audio.release(factory);
    audio.freeDsound(dsound);
    EXPECT_EQ(audio.getClassFactory(0), 0u);
    EXPECT_EQ(audio.createPropertySet(0), 0u);
    EXPECT_FALSE(audio.enumerateDevices(0, [](const plat::DsDeviceDescription&) { return true; }));
}

TEST(AudioPort, MixerNamesExistForEveryCountedDevice) {
    plat::Audio& audio = plat::audio();
    const std::uint32_t count = audio.mixerGetNumDevs();
    for (std::uint32_t id = 0; id < count; ++id) {
        plat::String name;
        EXPECT_TRUE(audio.mixerGetProductName(id, name)) << id;
        EXPECT_FALSE(name.empty()) << id;
    }
    plat::String name = u"unchanged";
    EXPECT_FALSE(audio.mixerGetProductName(count, name));
    EXPECT_EQ(name, u"unchanged");
}

} // namespace
