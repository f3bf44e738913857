// The settings sheet, its pages and the rename dialog from the program's own templates, on
// the real dialog manager and property sheet. The sheet or dialog runs on the test's thread;
// a helper thread looks at it and acts on it as a user would.
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "Application.h"
#include "AudioDevices.h"
#include "Globals.h"
#include "ProcessObjects.h"
#include "PropertyPageDevice.h"
#include "PropertyPageMediaPlayer.h"
#include "PropertyPageOtherApp.h"
#include "PropertyPageOtherSetting.h"
#include "PropertySheetSettingBox.h"
#include "RenameDeviceDialog.h"
#include "resource.h"
#include "shown_texts.h"
#include "win32_test_support.h"

namespace {

constexpr const auto& kSettings = shown::wide::settingsTitle;
constexpr wchar_t kSoundMapper[] = L"SOFTWARE\\Microsoft\\Multimedia\\Sound Mapper";

// The audio services of the machine, except that the mixer's product name (which the system
// default's change writes as "Playback") comes from here, and each request is noted.
class MixerDouble final : public plat::Audio {
public:
    explicit MixerDouble(plat::Audio& inner) : inner_(inner) {}
    plat::Module loadDsound() override { return inner_.loadDsound(); }
    bool hasDllGetClassObject(plat::Module m) override { return inner_.hasDllGetClassObject(m); }
    plat::Handle getClassFactory(plat::Module m) override { return inner_.getClassFactory(m); }
    plat::Handle createPropertySet(plat::Handle f) override { return inner_.createPropertySet(f); }
    bool enumerateDevices(plat::Handle set,
                          const std::function<bool(const plat::DsDeviceDescription&)>& callback)
        override {
        return inner_.enumerateDevices(set, callback);
    }
    void release(plat::Handle object) override { inner_.release(object); }
    void freeDsound(plat::Module m) override { inner_.freeDsound(m); }
    std::uint32_t mixerGetNumDevs() override { return inner_.mixerGetNumDevs(); }
    bool mixerGetProductName(std::uint32_t id, plat::String& name) override {
        asked = static_cast<int>(id);
        name = u"QA Mixer " + plat::String(1, static_cast<char16_t>(u'0' + id % 10));
        return true;
    }
    std::atomic<int> asked{-1};

private:
    plat::Audio& inner_;
};

std::wstring text(HWND window) {
    return qa_test::windowText(window);
}

std::wstring tabLabel(HWND tabs, int index) {
    wchar_t label[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = label;
    item.cchTextMax = 63;
    ::SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return label;
}

RECT rectOf(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    return r;
}

class SettingsOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        real_ = plat::current();
        threads_ = std::make_unique<qa_test::NoThreads>(*real_.threads);
        mixer_ = std::make_unique<MixerDouble>(*real_.audio);
        plat::Platform bundle = real_;
        bundle.threads = threads_.get();
        bundle.audio = mixer_.get();
        bundle.coreAudio = &noCoreAudio_;
        plat::install(bundle);
        startProcessObjects();
        fw::setResourceModule(plat::resources().programModule());

        // A sound card and the transmitter, the card being the system default; the old
        // "Playback" comes back afterwards.
        storeDeviceEntry(0, AudioDeviceEntry{0, kNullGuid, kDefaultAudioDeviceName, u""});
        storeDeviceEntry(1, AudioDeviceEntry{0, u"{11111111-2222-3333-4444-555555555555}",
                                             u"Card", u"Card wave"});
        storeDeviceEntry(2, AudioDeviceEntry{1, u"{00112233-4455-6677-8899-AABBCCDDEEFF}",
                                             u"Quorvane Auravo", u"Quorvane Auravo"});
        globals().audioDevices->count = 2;
        ASSERT_EQ(::RegCreateKeyW(HKEY_CURRENT_USER, kSoundMapper, &soundMapper_), ERROR_SUCCESS);
        wchar_t old[256] = {};
        DWORD size = sizeof(old) - sizeof(wchar_t);
        hadPlayback_ = ::RegQueryValueExW(soundMapper_, L"Playback", nullptr, nullptr,
                                          reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
        oldPlayback_ = old;
        setPlayback(L"Card wave");
    }

    void TearDown() override {
        if (hadPlayback_)
            setPlayback(oldPlayback_);
        else
            ::RegDeleteValueW(soundMapper_, L"Playback");
        ::RegCloseKey(soundMapper_);
        fw::setResourceModule(0);
        endProcessObjects();
        plat::install(real_);
    }

    void setPlayback(const std::wstring& value) {
        ::RegSetValueExW(soundMapper_, L"Playback", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    std::wstring playback() {
        wchar_t value[256] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t);
        ::RegQueryValueExW(soundMapper_, L"Playback", nullptr, nullptr,
                           reinterpret_cast<BYTE*>(value), &size);
        return value;
    }

    // The settings as the controller builds them, run here while `user` acts on them; the
    // user ends the run (or, if it cannot, the sheet is closed so the test never hangs).
    void runSettings(const std::function<void(HWND sheet)>& user) {
        PropertySheetSettingBox sheet(shown::settingsTitle, 0, 0);
        PropertyPageDevice devices;
        PropertyPageMediaPlayer players;
        PropertyPageOtherApp defaultAudio;
        PropertyPageOtherSetting other;
        for (SettingsPage* page : std::initializer_list<SettingsPage*>{&devices, &players,
                                                                      &defaultAudio, &other})
            sheet.addPage(*page);
        std::thread helper([&user] {
            HWND window = qa_test::waitForVisibleWindow(kSettings);
            if (window)
                user(window);
            if (::IsWindow(window))
                ::PostMessageW(window, WM_CLOSE, 0, 0);
        });
        sheet.doModal();
        helper.join();
    }

    plat::Platform real_;
    std::unique_ptr<qa_test::NoThreads> threads_;
    std::unique_ptr<MixerDouble> mixer_;
    // A Windows without Core Audio: the pages read and route the sound mapper's preferences,
    // which the test's stand-in devices fill.
    qa_test::FixedCoreAudio noCoreAudio_;
    HKEY soundMapper_ = nullptr;
    bool hadPlayback_ = false;
    std::wstring oldPlayback_;
};

TEST_F(SettingsOnWindows, TheSheetHasFourTabsAndOnlyCloseAndHelp) {
    std::wstring labels[4], closeText, helpText;
    bool cancelShown = true, applyShown = true, closeShown = false, helpShown = false;
    bool closeMovedRight = false;
    LONG_PTR exStyle = 0;
    HICON big = nullptr, small = nullptr, expectedSmall = nullptr;
    int tabCount = 0;
    bool closed = false;
    runSettings([&](HWND sheet) {
        const HWND tabs = PropSheet_GetTabControl(sheet);
        tabCount = TabCtrl_GetItemCount(tabs);
        for (int i = 0; i < 4; ++i)
            labels[i] = tabLabel(tabs, i);
        const HWND close = ::GetDlgItem(sheet, IDOK);
        const HWND cancel = ::GetDlgItem(sheet, IDCANCEL);
        closeText = text(close);
        helpText = text(::GetDlgItem(sheet, IDHELP));
        closeShown = ::IsWindowVisible(close);
        helpShown = ::IsWindowVisible(::GetDlgItem(sheet, IDHELP)) &&
                    ::IsWindowEnabled(::GetDlgItem(sheet, IDHELP));
        cancelShown = ::IsWindowVisible(cancel);
        applyShown = ::IsWindowVisible(::GetDlgItem(sheet, ID_APPLY_NOW));
        // Moved 162 pixels right: past where the hidden Cancel sits.
        closeMovedRight = rectOf(close).left > rectOf(cancel).left;
        exStyle = ::GetWindowLongPtrW(sheet, GWL_EXSTYLE);
        big = reinterpret_cast<HICON>(::SendMessageW(sheet, WM_GETICON, ICON_BIG, 0));
        small = reinterpret_cast<HICON>(::SendMessageW(sheet, WM_GETICON, ICON_SMALL, 0));
        // Icon 115 at the small-icon size for the sheet's DPI.
        expectedSmall = plat::win32::toIcon(plat::resources().loadSmallIcon(
            fw::resourceModule(), 115, plat::win32::fromHwnd(sheet)));
        // Close ends the sheet through its own processing.
        ::PostMessageW(sheet, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(close));
        closed = qa_test::waitFor([&] { return !::IsWindow(sheet); }, 5000);
    });
    EXPECT_EQ(tabCount, 4);
    EXPECT_EQ(labels[0], shown::wide::devicesTab);
    EXPECT_EQ(labels[1], shown::wide::mediaPlayers);
    EXPECT_EQ(labels[2], shown::wide::defaultAudioDevice);
    EXPECT_EQ(labels[3], shown::wide::otherSettings);
    EXPECT_EQ(closeText, shown::wide::close);
    EXPECT_EQ(helpText, shown::wide::help);
    EXPECT_TRUE(closeShown);
    EXPECT_TRUE(helpShown);
    EXPECT_FALSE(cancelShown);
    EXPECT_FALSE(applyShown);
    EXPECT_TRUE(closeMovedRight);
    EXPECT_EQ(exStyle & (WS_EX_APPWINDOW | WS_EX_CONTEXTHELP), WS_EX_APPWINDOW | WS_EX_CONTEXTHELP);
    const HINSTANCE module = plat::win32::toModule(fw::resourceModule());
    EXPECT_EQ(big, ::LoadIconW(module, MAKEINTRESOURCEW(112)));
    EXPECT_EQ(small, expectedSmall);
    EXPECT_TRUE(closed) << "Close did not end the sheet";
}

TEST_F(SettingsOnWindows, PagesShowTheirTemplatesControlsAndTexts) {
    std::wstring pairedLabel, addText, playersIntro, editText, trayText;
    bool dbHidden = false;
    runSettings([&](HWND sheet) {
        HWND page = PropSheet_GetCurrentPageHwnd(sheet);
        pairedLabel = text(::GetDlgItem(page, IDC_PAIRED_LABEL));
        addText = text(::GetDlgItem(page, IDC_ADD_DEVICE));
        PropSheet_SetCurSel(sheet, nullptr, 1);
        page = PropSheet_GetCurrentPageHwnd(sheet);
        playersIntro = text(::GetDlgItem(page, IDC_PLAYERS_INTRO));
        editText = text(::GetDlgItem(page, IDC_EDIT_PLAYER));
        PropSheet_SetCurSel(sheet, nullptr, 3);
        page = PropSheet_GetCurrentPageHwnd(sheet);
        trayText = text(::GetDlgItem(page, IDC_SHOW_TRAY_ICON));
        dbHidden = ::GetDlgItem(page, IDC_DATABASE_DUMP) &&
                   !::IsWindowVisible(::GetDlgItem(page, IDC_DATABASE_DUMP));
    });
    EXPECT_EQ(pairedLabel, shown::wide::pairedLabel);
    EXPECT_EQ(addText, shown::wide::addDevice);
    EXPECT_EQ(playersIntro, L"This list shows all of the media players installed on your" +
                                std::wstring(11, L' ') +
                                L"computer that are supported by Quorvane Auravo software.");
    EXPECT_EQ(editText, shown::wide::editButton);
    EXPECT_EQ(trayText, shown::wide::showTrayIcon);
    EXPECT_TRUE(dbHidden);
}

// The user picks the transmitter on the Default Audio Device page: the choice reaches the
// system default's routing, which asks the mixer for the device's name and stores it.
TEST_F(SettingsOnWindows, AComboSelectionOnTheDefaultAudioPageRoutesTheSystemDefault) {
    std::wstring shown[2];
    int selectedBefore = -2;
    bool advised = false;
    runSettings([&](HWND sheet) {
        PropSheet_SetCurSel(sheet, nullptr, 2);
        const HWND page = PropSheet_GetCurrentPageHwnd(sheet);
        const HWND combo = ::GetDlgItem(page, IDC_DEFAULT_COMBO);
        for (int i = 0; i < 2; ++i) {
            wchar_t item[64] = {};
            ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            shown[i] = item;
        }
        selectedBefore = static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0));
        ::SendMessageW(combo, CB_SETCURSEL, 1, 0);
        ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_DEFAULT_COMBO, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(combo));
        // No player runs: the change comes with the advice to restart applications.
        if (const HWND box = qa_test::waitForVisibleWindow(shown::wide::restartAppsCaption)) {
            advised = true;
            ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            qa_test::waitFor([&] { return !::IsWindow(box); });
        }
        qa_test::waitFor([&] { return mixer_->asked != -1; });
    });
    EXPECT_EQ(shown[0], shown::wide::myComputer);
    EXPECT_EQ(shown[1], L"Quorvane Auravo");
    EXPECT_EQ(selectedBefore, 0);
    EXPECT_TRUE(advised);
    EXPECT_EQ(mixer_->asked, 1) << "the transmitter's wave device";
    EXPECT_EQ(playback(), L"QA Mixer 1");
}

TEST_F(SettingsOnWindows, TheRenameDialogRefusesAnEmptyNameWithTheRealMessageBox) {
    RenameDeviceDialog dialog(0);
    dialog.presentName = u"Kitchen";
    std::wstring oldName, editBefore, boxText, boxButton;
    bool stayedOpen = false;
    std::thread helper([&] {
        const HWND window = qa_test::waitForVisibleWindow(shown::wide::renameTitle);
        if (!window)
            return;
        oldName = text(::GetDlgItem(window, IDC_OLD_NAME));
        editBefore = text(::GetDlgItem(window, IDC_NEW_NAME));
        ::SetWindowTextW(::GetDlgItem(window, IDC_NEW_NAME), L"   ");
        ::PostMessageW(::GetDlgItem(window, IDC_RENAME_OK), BM_CLICK, 0, 0);
        if (const HWND box = qa_test::waitForVisibleWindow(shown::wide::cannotRename)) {
            boxText = text(::GetDlgItem(box, 0xFFFF));
            boxButton = text(::GetDlgItem(box, IDOK));
            ::PostMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            qa_test::waitFor([&] { return !::IsWindow(box); });
        }
        stayedOpen = ::IsWindow(window) && ::IsWindowVisible(window);
        ::PostMessageW(::GetDlgItem(window, IDC_RENAME_CANCEL), BM_CLICK, 0, 0);
    });
    const std::intptr_t result = dialog.doModal();
    helper.join();
    EXPECT_EQ(oldName, L"Kitchen");
    EXPECT_EQ(editBefore, L"Kitchen");
    EXPECT_EQ(boxText, shown::wide::nameEmptyText);
    EXPECT_EQ(boxButton, shown::wide::ok);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(result, IDCANCEL);
}

} // namespace
