// The texts the program shows its user (window titles, message boxes, menus, dialog controls),
// as the tests expect to see them: each written once, here. Written out on purpose rather
// than taken from the program's string table, so that a text changed by mistake there fails
// the tests. The templates test keeps its own literal texts: it checks the dialogs line by line.
//
// One list gives each text in the two kinds of string the tests use: `shown::` for the
// program's own strings (char16_t), `shown::wide::` for Win32 calls (wchar_t).
#pragma once

// clang-format off
#define QA_SHOWN_TEXTS(X)                                                                          \
    /* Windows found by their title */                                                             \
    X(controllerTitle, "QuorvaneAuravoSystemTrayApplication")                                      \
    X(settingsTitle, "Quorvane Auravo Settings")                                                   \
    X(aboutTitle, "About Quorvane Auravo Settings")                                                \
    X(newDeviceTitle, "New Auravo Device")                                                         \
    X(newDevicesTitle, "New Auravo Devices")                                                       \
    X(renameTitle, "Rename Auravo Device")                                                         \
    X(deleteCaption, "Delete Auravo Device")                                                       \
    X(editPlayerTitle, "Edit Media Player Settings")                                               \
    /* Message boxes */                                                                            \
    X(exitCaption, "Exiting Auravo")                                                               \
    X(exitText, "Are you sure you want to exit?")                                                  \
    X(restartCaption, "Restart Media Player")                                                      \
    X(restartAppsCaption, "Restart Active Applications")                                           \
    X(noRightsCaption, "Unable to process the request")                                            \
    X(noNewDeviceCaption, "No new device found")                                                   \
    X(noNewDeviceText, "Unable to find a new Auravo device.")                                      \
    X(cannotRename, "Cannot Rename")                                                               \
    X(nameEmptyText, "A device name cannot be empty.")                                             \
    X(nameTooLongCaption, "Name too long")                                                         \
    X(noTransmitterCaption, "No USB Transmitter found")                                            \
    X(noTransmitterText,                                                                           \
      "Please plug the Quorvane Auravo USB Transmitter into a USB port and try again.")            \
    X(error, "Error")                                                                              \
    X(noTimer, "Unable to obtain timer")                                                           \
    X(deviceNotifyFailed, "Failed to Register Device Notifications")                               \
    X(pairingFailed, "Unable to pair with the selected device.")                                   \
    X(ok, "OK")                                                                                    \
    X(yes, "Yes")                                                                                  \
    X(no, "No")                                                                                    \
    X(cancel, "Cancel")                                                                            \
    /* Menus and the settings sheet */                                                             \
    X(settings, "Settings")                                                                        \
    X(help, "Help")                                                                                \
    X(about, "About")                                                                              \
    X(exit, "Exit")                                                                                \
    X(myComputer, "My Computer")                                                                   \
    /* also the name of the device list's entry for the system's default */                      \
    X(defaultAudioDevice, "Default Audio Device")                                                  \
    X(mediaPlayers, "Media Players")                                                               \
    X(otherSettings, "Other Settings")                                                             \
    X(devicesTab, "Devices   ")                                                                    \
    X(close, "Close")                                                                              \
    /* Dialog controls */                                                                          \
    X(pairedLabel, "Paired de&vices:")                                                             \
    X(addDevice, "&Add Device...")                                                                 \
    X(editButton, "&Edit...")                                                                      \
    X(showTrayIcon, "Show &icon in system tray")                                                   \
    X(discoveredOne, "Your computer has discovered a new Auravo device.")                          \
    X(discoveredMany, "Your computer has discovered multiple Auravo devices.")                     \
    X(namePrompt, "To pair this device to your computer, please provide a name for it:")          \
    X(choosePrompt, "Please select the device you want to pair with:")                             \
    X(next, "Next >")                                                                              \
    X(pair, "Pair")
// clang-format on

namespace shown {
#define QA_SHOWN_UTF16(name, text) inline constexpr char16_t name[] = u"" text;
QA_SHOWN_TEXTS(QA_SHOWN_UTF16)
#undef QA_SHOWN_UTF16

namespace wide {
#define QA_SHOWN_WIDE(name, text) inline constexpr wchar_t name[] = L"" text;
QA_SHOWN_TEXTS(QA_SHOWN_WIDE)
#undef QA_SHOWN_WIDE
} // namespace wide
} // namespace shown
