// The simulated PC: an in-memory Windows for tests and the simulator. It implements every
// port of the seam, and offers tests and scenarios the levers of a real machine (registry,
// other programs' windows, devices, the user) and a virtual clock.
//
// This header is the test-facing API. The ports' implementations live beside it.
#pragma once

#include "ports.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

using plat::Hwnd;
using plat::String;

// A message as a window received it (for windows of other programs, which record them).
struct ReceivedMessage {
    std::uint32_t msg = 0;
    plat::WParam wParam = 0;
    plat::LParam lParam = 0;
};

// What the user can see of one control of an open dialog or message box.
struct ControlView {
    int id = 0;
    String className; // "Button", "Static", "Edit", "ListBox", "ComboBox"
    String text;
    bool visible = true;
    bool enabled = true;
    int checked = 0;           // check boxes and radio buttons; menu items
    std::vector<String> items; // list and combo boxes
    int selection = -1;        // list and combo boxes
    std::uint32_t style = 0;   // controls: WS_* and the class's own style bits
    bool isDefault = false;    // the default push button; the menu's default item (bold)
    bool radio = false;        // menu items: checked with a bullet (CheckMenuRadioItem)
};

enum class ModalKind { MessageBox, Dialog, PropertySheet, PopupMenu };

// One item of a popup menu as the user sees it; a submenu's items hang beneath its item.
struct MenuNode {
    String text;          // without accelerator marks; empty for a separator
    std::uint32_t id = 0; // the command of an item that is not a submenu
    bool separator = false;
    bool popup = false;  // opens the submenu `items`
    bool enabled = true; // neither grayed nor disabled
    bool checked = false;
    bool radio = false;     // the check mark is a bullet (CheckMenuRadioItem)
    bool isDefault = false; // shown in bold
    std::vector<MenuNode> items;
    bool operator==(const MenuNode&) const = default;
};

// Faults a test can inject into the file system; each stays until the faults are set anew.
enum class FileFault {
    None,
    OpenForWrite, // creating a file fails
    Read,         // a read fails once the file's first line has been read (see spareReads)
    Write,
    Flush,
    // ReplaceFileW fails, leaving what its documentation says:
    ReplaceUnableToRemove, // 1175: nothing moved
    ReplaceUnableToMove,   // 1176: with a backup name nothing moved; without, the replaced
                           //       file is gone and the replacement keeps its name
    ReplaceUnableToMove2,  // 1177: the replaced file lies under the backup name (without one,
                           //       under "~RF<n>.TMP" in its folder); the replacement stays
    Move,                  // MoveFileExW fails
    Delete,                // DeleteFileW fails
};

// A notification-area icon as the shell shows it.
struct TrayIconView {
    Hwnd window = 0;
    std::uint32_t id = 0;
    std::uint32_t callbackMessage = 0;
    plat::HIcon icon = 0;
    int iconResourceId = 0; // the icon resource the image was loaded from, 0 if unknown
    int iconSize = 0;       // its size in pixels when loaded as a small icon, else 0
    String tip;
};

// A modal window as the user sees it when it opens.
struct ModalView {
    ModalKind kind = ModalKind::Dialog;
    Hwnd window = 0;
    Hwnd owner = 0;
    int templateId = 0;        // dialogs; property sheets: the page shown
    String caption;            // title bar
    String text;               // message boxes: the message
    std::uint32_t style = 0;   // message boxes: the MB_* style as shown; else WS_*
    std::uint32_t exStyle = 0; // WS_EX_* after initialisation
    // Dialogs: their controls. Message boxes: the buttons. Property sheets: the tab control
    // (id 0x3020, "SysTabControl32", page titles as items), OK, Cancel, Apply (0x3021), Help,
    // then the controls of the page shown. Popup menus: one entry per item, the text being
    // its path ("Advanced>Winamp>My Computer"), className "MenuItem" (id = command) or "Popup".
    std::vector<ControlView> controls;
    // Popup menus: the whole menu as a tree, separators included.
    std::vector<MenuNode> menu;

    const ControlView* control(int id) const;
    const ControlView* button(const String& text) const; // by visible text
    std::string describe() const; // readable, for failure messages and transcripts
};

// The scripted user answers modal windows. Each modal that opens takes the first queued
// entry that matches it; a modal with no matching entry is a test failure at once (reported
// through the failure handler with what was on screen) and is dismissed, so nothing hangs.
class ModalContext; // acts on the open modal from within the script (below)

struct ScriptEntry {
    ModalKind kind = ModalKind::MessageBox;
    std::optional<String> caption; // match: exact caption, if given
    std::optional<String> text;    // match: exact text (message boxes), if given
    std::optional<int> templateId; // match: dialog template, if given
    // What the user does, on the modal's own thread, once the modal is on screen and its
    // queue is first empty: input comes after what the modal posted to itself while it
    // opened. Returning leaves the modal to the program (it must end it itself or via posted
    // messages); typical actions press a button. A modal that ends before that never meets
    // the user.
    std::function<void(ModalContext&)> act;
    // Keep it open, without running `act`, until the test acts on it with actOnTopModal().
    bool hold = false;
    std::string label; // for failure messages
};

class ModalContext {
public:
    virtual ~ModalContext() = default;
    virtual const ModalView& view() = 0;              // refreshed on each call
    virtual void pressButton(const String& text) = 0; // by visible text
    virtual void pressId(int controlId) = 0;          // WM_COMMAND BN_CLICKED, or the box's id
    virtual void setText(int controlId, const String& text) = 0;
    // With the selection-change notice. On a property sheet's tab control (0x3020) it changes
    // pages, as a click on a tab does.
    virtual void selectItem(int controlId, int index) = 0;
    virtual void selectItemByText(int controlId, const String& text) = 0;
    // A double click on a list box item: it is selected, then LBN_DBLCLK (both notices only
    // from a list box with LBS_NOTIFY).
    virtual void doubleClickItem(int controlId, int index) = 0;
    virtual void setChecked(int controlId, bool checked) = 0; // a click on a check box
    // F1 with the focus on the control, or the caption's "?" button and then a click on it:
    // WM_HELP with a HelpInfo (the control's help context id, the mouse position, the control)
    // to the control, which hands it on to its parent as DefWindowProc does.
    virtual void requestHelp(int controlId) = 0;
    virtual void pressEnter() = 0;
    virtual void pressEscape() = 0;
    virtual void chooseMenuItem(const String& path) = 0; // popup menus: "Sub>Item"
    // The item reached through these labels, one per level (for labels that contain '>').
    // Where a level has several items of that label, the first.
    virtual void chooseMenuPath(const std::vector<String>& labels) = 0;
};

// ------------------------------------------------------------ HID devices and the transmitter
// A paired remote device as the transmitter stores it.
using DeviceAddress = std::array<std::uint8_t, 6>;

struct PairedDevice {
    String name; // at most 32 characters (UTF-16 code units)
    DeviceAddress address{};
    bool operator==(const PairedDevice&) const = default;
};

enum class RemoteKind { Receiver, Headphones };

// A remote device that completes pairing. Without a name it reports its default one,
// "Receiver #n" or "Headphones #n" (n unused on this transmitter); without an address it
// gets one no other device of this transmitter has.
struct NewRemote {
    RemoteKind kind = RemoteKind::Receiver;
    std::optional<String> name;
    std::optional<DeviceAddress> address;
};

// The top-level collections of a transmitter; Extra is an optional third one with a usage
// page the program must ignore.
enum class HidCollectionRole { Vendor, Consumer, Extra };

struct TransmitterConfig {
    // The per-device part of the interface paths (8 hex digits); empty: one no other
    // transmitter of this PC has.
    std::string instanceId;
    // Declared report lengths (HIDP_CAPS), report id byte included.
    std::uint16_t vendorInputLength = 138;
    std::uint16_t vendorOutputLength = 138;
    std::uint16_t consumerInputLength = 3;
    // The paired-device database, newest first (at most `capacity` entries are kept).
    std::vector<PairedDevice> database;
    // The count byte of a listing's entries after the first (the first always carries the
    // number of entries minus one). Nothing: the number of entries still to come after each;
    // a value: every later entry carries it (firmware that fills the byte in only once).
    std::optional<std::int8_t> laterCountByte;
    std::size_t capacity = 20; // at most 128: a listing counts its entries in one signed byte
    // The device the transmitter sends to: index into `database` (default: the newest).
    std::optional<std::size_t> currentIndex;
    bool linked = true; // whether the current device is in reach
    std::array<std::uint8_t, 3> firmwareVersion{1, 4, 2};
    String firmwareDate = u"Jun 20 2005";
    // Answers StartupSecond (right after StartupFirst) with version, listing and current
    // device; false: a transmitter that stays silent.
    bool answersStartup = true;
    bool consumerCollection = true;
    // A third collection (col03) with this usage page, e.g. 0x0001 (generic desktop).
    std::optional<std::uint16_t> extraUsagePage;
    // Interface paths other than the generated ones (to test odd paths).
    std::optional<String> vendorPath;
    std::optional<String> consumerPath;
    // CreateFileW on the interface fails (another program holds it exclusively).
    bool vendorOpenable = true;
    bool consumerOpenable = true;
    // Virtual time between the interface notifications of its collections when it is
    // plugged in or out: the system announces each collection as its driver comes or goes.
    std::uint32_t noticeGapMs = 20;
};

// Which of a transmitter's interface notifications the system sends when it is plugged in
// or out: all (one per collection, vendor first, each `noticeGapMs` after the one before),
// only the vendor or the consumer collection's, or none. A notification held back can be
// sent later with SimPc::transmitterNotify.
enum class InterfaceNotices { All, VendorOnly, ConsumerOnly, None };

// How the system spells device interface paths. Windows 10 and 11 hand them out in lower
// case from enumeration (the HID interfaces, and the audio devices' records) and announce them
// in notifications with the device part in upper case
// ("\\?\HID#VID_0B7A&PID_0100&MI_03&COL01#7&1a2b3c4d&0&0000#{...}"). Older Windows spelled
// a path the same, mixed-case way everywhere ("\\?\HID#Vid_0b7a&Pid_0100&MI_03&col01#...").
enum class DevicePathSpelling { Current, Legacy };

// Any other HID interface (a mouse, a keyboard, another vendor's device).
struct HidDeviceConfig {
    std::uint16_t vendorId = 0x046D;
    std::uint16_t productId = 0xC52B;
    std::uint16_t versionNumber = 0x1200;
    std::uint16_t usagePage = 0x0001;
    std::uint16_t usage = 0x0002;
    std::uint16_t inputLength = 8;
    std::uint16_t outputLength = 0;
    String path; // empty: generated from the ids
    bool openable = true;
};

// Something that happens on the transmitter by itself; each sends the report named.
enum class TransmitterEvent {
    PairingButton, // its Connect button: pairing mode, PairingStarted (flags 0x80)
    PairingFailed, // flags 0x40; leaves pairing mode
    ListCleared,   // its database is wiped: flags 0x08
    LinkLost,      // the current device went out of reach: flags 0x10
    LinkRegained,  // back in reach: CurrentDevice (flags 0x02) with link state 0
};

// One output report the transmitter received on its vendor collection, decoded by the
// transmitter's own table, never by the program's.
struct TransmitterCommand {
    std::uint64_t atMs = 0; // virtual time
    std::uint8_t reportId = 0;
    std::uint8_t code = 0;
    // What the transmitter took it for: "StartupFirst", "SelectDevice", ...; "Unknown(0x55)"
    // for a code it does not know, "ReportId(3)" for a report with another id.
    std::string command;
    bool addressed = false;  // a command about one device (its address counts)
    String name;             // bytes 2-129 up to the first NUL, as UTF-8
    DeviceAddress address{}; // bytes 130-135
    std::vector<std::uint8_t> raw;
};

// The 138-byte input report layout of the vendor collection: report id 2, flags, signed
// count, NUL-terminated UTF-8 name (cut at 128 bytes), address, signed link state.
std::vector<std::uint8_t> vendorReport(std::uint8_t flags, std::int8_t count, const String& name,
                                       const DeviceAddress& address, std::int8_t linkState);

using TransmitterId = int;
using HidDeviceId = int;

// ------------------------------------------------------------ media players
// The five supported players, by display name (compared exactly): "Windows Media Player",
// "Musicmatch", "Winamp", "Real Player", "iTunes".

// Which roots a player's installer wrote its detection key under. The catalogue does not
// look everywhere: Winamp's key counts under HKCU only, and Musicmatch's HKLM key is a
// different one ("Software\MusicMatch\MusicMatch Jukebox\4.0\MainApp\").
enum class PlayerRoots { CurrentUser, LocalMachine, Both };

// Winamp's main window class: "BaseWindow_RootWnd" (Modern) or "Winamp v1.x" (Classic).
enum class WinampWindow { Modern, Classic };

// A plausible "winamp.ini": wave-out output on the default device, a DirectSound section,
// and a "[gen_hotkeys]" section last, with two bindings and global hotkeys disabled.
std::string typicalWinampIni();
// "winamp.ini" as Winamp 5.x writes it after its first run: Windows line endings, sections
// such as "[Winamp]", "[WinampReg]", "[out_disk]", "[out_ds]", "[pmp_usb]" and
// "[gen_hotkeys]", a file-type list ("config_extlist=") over 500 characters long, and the
// DirectSound output without a device line (none has been chosen in Winamp yet).
std::string winamp5Ini();

struct PlayerConfig {
    String name;
    PlayerRoots roots = PlayerRoots::CurrentUser;
    String directory; // empty: the player's usual folder under "C:\Program Files"
    // The value the player's program file is found by. Musicmatch keeps it in its HKLM
    // detection key, so a Musicmatch that records it is detectable under HKLM as well.
    bool recordsLocation = true;
    WinampWindow winampWindow = WinampWindow::Modern;
    // Virtual time from a close request (WM_CLOSE to the main window) to quitting;
    // nothing: close requests are ignored.
    std::optional<std::uint32_t> closeDelayMs = 0;
    // Musicmatch: a close request first brings up its "Upgrade to Plus" window, and the
    // player quits only once that window has been closed too.
    bool upgradePrompt = false;
    bool running = false; // started by the user right after installation
    // Winamp: the contents of "winamp.ini" in its settings folder; nothing: no such file.
    std::optional<std::string> winampIni = typicalWinampIni();
    // Winamp installed "with settings per user": "paths.ini" beside winamp.exe holds this
    // "inidir" (the installer writes "{26}\Winamp"), and winamp.ini goes to the folder it
    // names, which is created. Nothing: the settings live in the program folder.
    std::optional<String> winampIniDir;
};

// WM_APPCOMMAND as a player's window received it.
struct PlayerAppCommand {
    std::uint64_t atMs = 0;
    std::uint16_t command = 0; // HIWORD(lParam) without the device bits (0xF000)
    std::uint16_t device = 0;  // the device bits: FAPPCOMMAND_MOUSE, _KEY or _OEM
    std::uint16_t keys = 0;    // LOWORD(lParam)
    plat::WParam wParam = 0;
    plat::LParam lParam = 0;
};

struct PlayerCloseRequest {
    std::uint64_t atMs = 0;
    bool upgradeWindow = false; // sent to Musicmatch's "Upgrade to Plus" window
};

struct PlayerStart {
    std::uint64_t atMs = 0;
    bool byShell = false; // the shell opened its program file; else the user started it
    std::uint32_t processId = 0;
};

// "next" (11), "previous" (12), "stop" (13), "play-pause" (14), else "command N".
std::string appCommandName(std::uint16_t command);

// ------------------------------------------------------------ audio devices
// Where a device's emulated DirectSound record ("<wave name> (emulated)") comes in the
// enumeration relative to its WDM (or VXD) record, or whether it has none.
enum class EmulatedRecord { AfterWdm, BeforeWdm, None };

// Which Windows plays the PC's sound. An older one has no Core Audio and plays on the device
// the sound mapper's "Playback" preference names. Today's (Vista and later) ignores the sound
// mapper: it keeps a default render endpoint per role, which the policy-config interface of
// its own sound settings changes, and its endpoints carry the DirectSound GUIDs.
enum class WindowsAudio { SoundMapper, CoreAudio };

// Today's Windows: what leads from a device's endpoint down to its hardware.
enum class HardwareRoute {
    Topology, // the device topology's connection, and through it the adapter's instance id
    None,     // neither (as while the device is still arriving)
};

// An audio device of the PC. Each present device yields its DirectSound records (WDM or VXD,
// and its emulated one) in the enumeration, and, with `mixer`, one mixer; on today's Windows a
// render device is an endpoint too.
struct AudioDeviceConfig {
    String description;                  // of its WDM (or VXD) record
    std::optional<plat::Guid> guid;      // nothing: one no other device of this PC has
    // Its wave device id. Nothing: numbered as Windows does, from 0 in plug-in order among
    // the present devices without a fixed id (render and capture counted apart), skipping
    // fixed ids; so removing a device renumbers the ones plugged in after it.
    std::optional<std::uint32_t> waveId;
    String waveName;  // empty: the description cut to 31 characters (MAXPNAMELEN - 1)
    String mixerName; // the mixer's product name; empty: the wave name
    bool mixer = true;
    EmulatedRecord emulated = EmulatedRecord::AfterWdm;
    bool capture = false; // a recording device: its records have data flow 1
    bool vxd = false;     // a VXD driver: its record has type 1 instead of 2
    String interfacePath; // empty: a generated path of a PCI sound card
    String module = u"ks.sys";
    // Today's Windows: the kernel-streaming interface its endpoint's topology is connected to
    // (empty: `interfacePath`) and its adapter's device instance id (empty: made from that
    // path, as Windows names devices after their interfaces), reachable as `hardwareRoute`
    // says.
    String hardwarePath;
    String instanceId;
    HardwareRoute hardwareRoute = HardwareRoute::Topology;
};

// How the transmitter's audio function shows its USB identity; it takes effect when the
// transmitter is plugged in.
struct TransmitterAudioIdentity {
    // Its DirectSound record carries its USB interface path (with "vid_0b7a&pid_0100"); false:
    // the path of a software device without the USB ids, as today's Windows may give instead.
    bool usbPathInDirectSound = true;
    HardwareRoute hardwareRoute = HardwareRoute::Topology;
};

// The four set-up steps of an enumeration pass, any of which "dsound.dll" can fail.
enum class DsoundFailure {
    None,
    Missing,            // LoadLibraryW("dsound.dll") fails
    NoClassObjectEntry, // GetProcAddress("DllGetClassObject") fails
    NoClassFactory,     // DllGetClassObject gives no class factory
    NoPropertySet,      // IClassFactory::CreateInstance gives no IKsPropertySet
};

// A present audio device as the enumeration reports it now.
struct AudioDeviceView {
    int id = 0;
    String description;
    String waveName;
    std::uint32_t waveId = 0;
    plat::Guid guid;
    String interfacePath;
    bool capture = false;
    bool mixer = true;
    String endpointId; // today's Windows, render devices: its endpoint's id
};

using AudioDeviceId = int;

// ------------------------------------------------------------ objects handed out
// The kinds of object the simulated PC hands out and accounts for. Each is live from the call
// that makes it to its release through the matching call, and no longer:
//   RegistryKey         RegOpenKeyExW, RegCreateKeyW ... RegCloseKey
//   File                fopen ... fclose
//   Mutex               CreateMutexW ... CloseHandle (a named one: the handle, not the object)
//   ThreadHandle        a started thread's handle ... CloseHandle
//   ProcessHandle       OpenProcess ... CloseHandle
//   AccessToken         OpenProcessToken ... CloseHandle
//   Thread              a thread the program started, while it runs (no handle needed)
//   Window              a window of the program (dialogs, their controls, message boxes,
//                       sheets), or of another program, until it is destroyed
//   Menu                LoadMenuW, CreatePopupMenu ... DestroyMenu (of it or of the menu it
//                       was attached to)
//   Icon                a shared icon (LoadIconW), kept by the system for the process's life
//   Bitmap              LoadBitmapW, and the image a static control loads from its template
//                       (SS_BITMAP), which goes with the control
//   Timer               SetTimer ... KillTimer, or the destruction of its window
//   DeviceNotification  RegisterDeviceNotificationW ... UnregisterDeviceNotification
//   HidHandle           CreateFileW on a HID interface ... CloseHandle (on Windows it owns the
//                       overlapped events of its reads and writes)
//   ComObject           the audio ports' COM objects ... Release
//   Library             LoadLibrary ... FreeLibrary (each load counts)
// The help viewer's windows are none of these: this PC has no help viewer (HtmlHelpW fails).
enum class HandleKind {
    RegistryKey,
    File,
    Mutex,
    ThreadHandle,
    ProcessHandle,
    AccessToken,
    Thread,
    Window,
    Menu,
    Icon,
    Bitmap,
    Timer,
    DeviceNotification,
    HidHandle,
    ComObject,
    Library,
};
inline constexpr int kHandleKinds = static_cast<int>(HandleKind::Library) + 1;
// "registry key", "file", ... as transcripts and scenarios spell them.
const char* handleKindName(HandleKind kind);
std::optional<HandleKind> handleKindByName(std::string_view name);

// Objects the test itself took through the ports (outside any program thread) count here.
inline constexpr std::uint32_t kOutsideProcessId = 0;

// One live object.
struct LiveObject {
    HandleKind kind = HandleKind::Window;
    std::uint32_t processId = 0; // whose: the program's, another program's, or the test's
    std::uint64_t id = 0;        // unique among the live and past objects of its kind
    std::string what;            // readable: its path, name, class and title, ...
};

// Every live object at one moment.
struct HandleSnapshot {
    std::vector<LiveObject> objects;
    std::uint64_t atMs = 0;

    int count(std::uint32_t processId, HandleKind kind) const;
    // One line per process: "process 1000 (the program): 2 mutex, 4 window, ..." (kinds with
    // none left out).
    std::vector<std::string> describe() const;
};

// What differs for the process `processId` between two snapshots: one line per kind whose
// count changed, naming the objects that came and went; empty when every count is as it was.
// An object that came and whose `what` begins with one of `lifetime` does not count: the
// program keeps such objects for its whole life (and makes them once).
std::vector<std::string> handleDifferences(const HandleSnapshot& baseline,
                                           const HandleSnapshot& now, std::uint32_t processId,
                                           const std::vector<std::string>& lifetime = {});

struct PlayerWorld; // sim_players.cpp
struct SentCall;    // sim_world.h

class SimPc {
public:
    SimPc();
    ~SimPc(); // ends the program if it still runs, then every thread it started
    SimPc(const SimPc&) = delete;
    SimPc& operator=(const SimPc&) = delete;

    // The ports of this PC; install() makes them the process's bundle.
    plat::Platform bundle();
    void install();

    // ------------------------------------------------------------ failures
    // Called (from any thread) when the simulated world sees something a test must fail on:
    // an unexpected modal, a wait that timed out. Default: collected in failures().
    void setFailureHandler(std::function<void(const std::string&)> handler);
    std::vector<std::string> failures() const;

    // ------------------------------------------------------------ machine set-up
    // Registry, as the user's own tools would change it (no access checks).
    void setString(plat::HKey root, const String& key, const String& name, const String& value);
    void setDword(plat::HKey root, const String& key, const String& name, std::uint32_t value);
    void setRaw(plat::HKey root, const String& key, const String& name, std::uint32_t type,
                std::vector<std::uint8_t> bytes);
    void createKey(plat::HKey root, const String& key);
    void deleteTree(plat::HKey root, const String& key);
    bool keyExists(plat::HKey root, const String& key) const;
    // The stored value (type and raw bytes), if any.
    std::optional<std::pair<std::uint32_t, std::vector<std::uint8_t>>>
    value(plat::HKey root, const String& key, const String& name) const;
    std::optional<String> stringValue(plat::HKey root, const String& key, const String& name) const;
    std::optional<std::uint32_t> dwordValue(plat::HKey root, const String& key,
                                            const String& name) const;
    // Keys under HKEY_LOCAL_MACHINE refuse write access unless the user is an administrator.
    // Until this is called that follows the token: Administrators enabled and not deny-only
    // (the default user is one); once called, `writable` decides.
    void setHklmWritable(bool writable);

    // Named kernel objects that another process holds (a second copy of the program).
    void holdNamedMutex(const String& name);
    void releaseNamedMutex(const String& name); // that process lets go of it
    // The next CreateMutexW of this name fails with this error (e.g. ERROR_ACCESS_DENIED).
    void failNamedMutex(const String& name, std::uint32_t error);

    // The program's file; its folder also holds "KTRResource.dll" and the help file.
    static constexpr char16_t kProgramPath[] =
        u"C:\\Program Files\\Quorvane\\Quorvane Auravo\\QuorvaneAuravo.exe";
    // The resource library "KTRResource.dll" next to the program (present by default).
    void setResourceLibraryPresent(bool present);
    // Replaces the compiled resources (.res bytes) of both modules; false when they cannot
    // be parsed, in which case the modules have no resources at all.
    bool setResourceBlob(std::vector<std::uint8_t> bytes);

    // The user's access token. Default: a member of Administrators (enabled) among a few
    // ordinary groups.
    void setTokenGroups(std::vector<plat::SidAndAttributes> groups);
    void setTokenUnavailable(bool unavailable);
    static plat::Sid administratorsSid();
    static plat::Sid usersSid();
    static plat::Sid otherSid(std::uint32_t rid);

    // How device interface paths are spelled (Current by default); set it before plugging
    // devices in. Paths given in a TransmitterConfig, HidDeviceConfig or AudioDeviceConfig are
    // spelled by it as well.
    void setDevicePathSpelling(DevicePathSpelling spelling);

    // Timers fail to start (SetTimer returns 0) while set.
    void setTimersFail(bool fail);
    // Device notifications cannot be registered while set.
    void setDeviceNotificationFails(bool fail);
    // Where the mouse is (GetCursorPos).
    void setCursorPos(plat::Point point);

    // Files (paths are case-insensitive). Writing a file creates its folders.
    void writeFile(const String& path, const std::string& bytes);
    std::optional<std::string> fileContents(const String& path) const;
    bool fileExists(const String& path) const;
    void createFolder(const String& path);
    // The files of a folder (not of its subfolders), with their paths as first written.
    std::vector<String> folderFiles(const String& folder) const;
    void setFileFault(FileFault fault); // this fault alone from now on; None: no fault
    void addFileFault(FileFault fault); // this one as well
    // FileFault::Read spares the next `opens` files opened for reading (a test can let the
    // first pass over a file succeed and fail the second).
    void spareReads(int opens);
    // FileFault::Read fails no more than the next `opens` files opened for reading (after
    // the spared ones), and then reads work again: a passing fault. Negative: every one, as
    // after setFileFault.
    void limitReadFaults(int opens);

    // The user's folders: the shell's special folders by CSIDL number and the program's
    // environment. A fresh machine has today's folders of the user "User", each existing:
    // CSIDL_APPDATA (26) "C:\Users\User\AppData\Roaming", CSIDL_LOCAL_APPDATA (28)
    // "C:\Users\User\AppData\Local" and CSIDL_PROFILE (40) "C:\Users\User", with the
    // variables APPDATA, LOCALAPPDATA and USERPROFILE naming them and USERNAME "User". The
    // shell answers for a folder only while it exists.
    static constexpr int kCsidlAppData = 26;
    static constexpr int kCsidlLocalAppData = 28;
    static constexpr int kCsidlProfile = 40;
    void setShellFolder(int csidl, const String& path); // empty: the shell knows none
    String shellFolder(int csidl) const;
    // Names compare without regard to case; an empty value removes the variable.
    void setEnvironmentVariable(const String& name, const String& value);
    String environmentVariable(const String& name) const;

    // ------------------------------------------------------------ other programs
    // A top-level window of another process, which records what it receives.
    Hwnd createForeignWindow(const String& className, const String& title,
                             std::uint32_t processId = 4242);
    void destroyWindow(Hwnd window);
    std::vector<ReceivedMessage> received(Hwnd window) const;
    void setForeground(Hwnd window);
    // Called, on the thread that posts or sends, for each message the window receives (after
    // it is recorded); its result is SendMessage's. It may destroy the window, for example
    // a player that quits on WM_CLOSE.
    void onForeignMessage(Hwnd window,
                          std::function<plat::LResult(const ReceivedMessage&)> handler);
    bool processAlive(std::uint32_t processId) const;
    // A window of another program whose thread stops answering messages (true), or answers
    // again (false). Meanwhile SendMessageW to it waits until it answers again or goes (or
    // the program's process ends); SendMessageTimeoutW gives up after its time-out, or at
    // once with SMTO_ABORTIFHUNG once the window has not answered for 5 s (when Windows calls
    // it hung); posted messages wait in its queue, and are handled when it answers again.
    void setWindowHung(Hwnd window, bool hung);
    // ShellExecuteW of the program: by default recorded and answered 42 (success).
    void setShellExecuteHandler(
        std::function<std::intptr_t(const String& verb, const String& file)> handler);
    static constexpr std::uint32_t kProgramProcessId = 1000;

    // ------------------------------------------------------------ the program
    // Runs `entry` as the program's main thread (it becomes the user-interface thread).
    void startProgram(std::function<int()> entry);
    bool programRunning() const;
    // Waits (bounded in real time) for the program's main thread to return; its result.
    std::optional<int> waitForExit(std::chrono::milliseconds bound = std::chrono::seconds(20));
    // Ends the simulated process now: processEnding() turns true, every sleeper, waiter and
    // modal loop wakes, and every thread the program started is joined (bounded; a thread
    // that does not end is reported). The destructor does this too; call it first when the
    // program's objects that those threads use die before this SimPc.
    void endProcess(std::chrono::milliseconds bound = std::chrono::seconds(20));

    // Waits until the simulated world is quiet: every thread the program started is blocked
    // in the seam (sleeping, waiting for a message, a read or an object), no message waits for
    // a thread in its message loop, and nobody is moving the clock. (A main thread asleep with
    // auto-advance off counts as quiet even with messages queued: it waits for advance().)
    // Bounded in real time; false (and a failure) on time-out.
    bool waitIdle(std::chrono::milliseconds bound = std::chrono::seconds(20));

    // ------------------------------------------------------------ virtual time
    std::uint64_t nowMs() const;   // virtual milliseconds since the machine started
    std::int64_t unixTime() const; // what time() returns
    // Moves virtual time forward by `ms`, stopping at every due timer and sleep in order and
    // letting the woken threads run until the world is idle again.
    void advance(std::uint32_t ms);
    // Sleeps and timed waits of the program's main thread move time forward by themselves
    // (default on), so a 30 s wait costs no real time; background sleepers wake as time passes
    // them. Sleeps of threads the simulated PC did not start (the test's) always do.
    void setAutoAdvance(bool on);
    // Real-time bound on how long one clock step waits for woken threads to block again
    // (default 10 s); a step that times out is reported as a failure and time moves on.
    void setSettleBound(std::chrono::milliseconds bound);

    // ------------------------------------------------------------ windows and the user
    Hwnd findWindow(const String* className, const String* title) const;
    Hwnd findWindowByTitle(const String& title) const { return findWindow(nullptr, &title); }
    String windowText(Hwnd window) const;
    bool windowVisible(Hwnd window) const;
    std::uint32_t windowExStyle(Hwnd window) const;
    // Posts as another process would (PostMessageW). While the program runs elevated, a
    // message to one of its windows arrives only if that window lets it through from lower
    // integrity levels; otherwise it is dropped and this returns false.
    bool post(Hwnd window, std::uint32_t msg, plat::WParam wParam = 0, plat::LParam lParam = 0);
    // The program runs elevated (as administrator) while every other process, the shell among
    // them, does not. The shell's tray-icon clicks reach the icon's window only if it lets
    // their callback message through; the system's device notifications still arrive.
    void setProgramElevated(bool elevated);
    // The messages a window of the program lets through from lower integrity levels.
    std::vector<std::uint32_t> messagesAllowedFromLower(Hwnd window) const;
    // The windows registered for device-interface notifications, and a notification as the
    // system delivers it: WM_DEVICECHANGE with a DeviceChangeInfo (DBT_DEVTYP_DEVICEINTERFACE,
    // `interfacePath`), handled on each window's thread; this call does not wait for it.
    std::vector<Hwnd> deviceNotificationWindows() const;
    void sendDeviceChange(plat::WParam event, const String& interfacePath);

    // The notification area. clickTrayIcon posts the icon's callback message with the mouse
    // message (WM_LBUTTONDOWN, ...) as the shell does; false when no icon is shown or the click
    // is blocked (see setProgramElevated).
    std::vector<TrayIconView> trayIcons() const;
    bool clickTrayIcon(std::uint32_t mouseMessage, plat::Point at = {640, 400});
    // The icon resource id a handle from loadIcon stands for (0 when unknown).
    int iconResourceId(plat::HIcon icon) const;
    // The DPI of the PC's one monitor (96 at first): small icons load at 16 pixels scaled by it.
    // Windows are not told: a test sends WM_DPICHANGED itself.
    void setDpi(std::uint32_t dpi);

    // The scripted user.
    void script(ScriptEntry entry);
    // Convenience: the next message box with this caption (and text, if given) is answered
    // by pressing the button with `buttonText`.
    void answerMessageBox(const String& caption, std::optional<String> text,
                          const String& buttonText);
    std::size_t pendingScriptEntries() const;
    // Every modal that has opened, in order (as it looked when it opened).
    std::vector<ModalView> modalHistory() const;
    // How many have opened so far, and whether one matching `match` opened from the
    // `from`-th on (without copying the history, which a long run makes long).
    std::size_t modalCount() const;
    bool modalOpenedSince(std::size_t from,
                          const std::function<bool(const ModalView&)>& match) const;
    // The modals open now (held or being answered), innermost last.
    std::vector<ModalView> openModals() const;
    // Acts on the innermost open modal (one held by its script entry) from the test thread.
    void actOnTopModal(const std::function<void(ModalContext&)>& act);
    // The same without waiting for the action to return: for input that opens another modal
    // (a button that runs a dialog), on which the test then acts in turn. Wait with waitIdle.
    void postToTopModal(const std::function<void(ModalContext&)>& act);
    // A readable dump of what is on screen, for failure messages and transcripts.
    std::string screen() const;

    // ------------------------------------------------------------ HID devices, the transmitter
    // The HID port enumerates present interfaces in plug-in order. Plugging in or out sends
    // one device-interface notification (DBT_DEVICEARRIVAL / DBT_DEVICEREMOVECOMPLETE) per
    // collection to the windows registered for them, as the system does.
    //
    // Input reports are buffered per open handle, as the HID class driver does: a handle
    // receives every report sent after it was opened, up to 32 waiting (the oldest is dropped
    // beyond that). A read takes the oldest waiting report, copying at most its buffer's
    // length (a report shorter than declared delivers only its own bytes), or blocks, counted
    // as blocked in the seam for idle detection, until a report comes, the read is cancelled
    // (ERROR_OPERATION_ABORTED), the handle is closed (ERROR_OPERATION_ABORTED) or the device
    // leaves (ERROR_DEVICE_NOT_CONNECTED; what was waiting is discarded). cancelRead cancels
    // only a read pending at that moment and returns once it has ended; a report already
    // waiting is delivered instead, so nothing is lost. A write must have exactly the declared
    // output length; the firmware handles it before write returns, so its answers are already
    // waiting when the next read starts.
    //
    // The notifications of one plug-in or removal come one after the other in virtual time
    // (InterfaceNotices, TransmitterConfig::noticeGapMs): before the next one is sent the
    // world settles and the clock moves on by the gap, so the program has handled the one
    // before. Nobody registered for notifications: no gap.
    TransmitterId plugTransmitter(TransmitterConfig config = {},
                                  InterfaceNotices notices = InterfaceNotices::All);
    void unplugTransmitter(TransmitterId id, InterfaceNotices notices = InterfaceNotices::All);
    // The same transmitter again (same paths, its database kept); false if it is plugged in.
    bool replugTransmitter(TransmitterId id, InterfaceNotices notices = InterfaceNotices::All);
    // The notification of one collection as the system sends it: its arrival while the
    // transmitter is plugged in, else its removal.
    void transmitterNotify(TransmitterId id, HidCollectionRole role);
    bool transmitterPlugged(TransmitterId id) const;
    // A collection's interface path as enumeration spells it (what the program finds and opens).
    String transmitterPath(TransmitterId id, HidCollectionRole role) const;
    HidDeviceId plugHidDevice(HidDeviceConfig config);
    void unplugHidDevice(HidDeviceId id);

    // What the transmitter received and holds.
    std::vector<TransmitterCommand> transmitterCommands(TransmitterId id) const;
    std::vector<std::uint8_t> transmitterCommandCodes(TransmitterId id) const; // report id 2 only
    // The database newest first; replacing it sends nothing (as if set before plugging in).
    std::vector<PairedDevice> transmitterDatabase(TransmitterId id) const;
    void setTransmitterDatabase(TransmitterId id, std::vector<PairedDevice> database);
    // Whether it answers the start-up handshake from now on (TransmitterConfig::answersStartup).
    void setTransmitterAnswersStartup(TransmitterId id, bool answers);
    std::optional<PairedDevice> transmitterCurrentDevice(TransmitterId id) const;
    bool transmitterLinked(TransmitterId id) const;
    bool transmitterPairingMode(TransmitterId id) const;
    // While set, every output report on the vendor collection fails (ERROR_GEN_FAILURE, as a
    // device that stalls it): the transmitter refuses what it is asked.
    void setTransmitterWritesFail(TransmitterId id, bool fail);
    // The PC goes to sleep with the transmitter plugged in (true) or wakes (false): meanwhile
    // its collections do not answer, so every read (a pending one too) and every write on a
    // handle opened before fails with ERROR_DEVICE_NOT_CONNECTED, yet no removal is announced.
    // Unplugging or plugging it in again ends the state.
    void setTransmitterAsleep(TransmitterId id, bool asleep);

    // Events. Each is ignored (and journaled so) while the transmitter is unplugged.
    // Remote devices complete pairing one after another in the order given (so the last is
    // the newest); the transmitter then sends its whole database newest first, every entry
    // flagged 0x04. Devices that do not fit are refused; if none fits it sends
    // PairingFailed instead. Pairing completes whether or not the transmitter was in pairing
    // mode, and ends it. Returns the devices paired.
    std::vector<PairedDevice> transmitterPair(TransmitterId id,
                                              std::vector<NewRemote> remotes = {NewRemote{}});
    void transmitterEvent(TransmitterId id, TransmitterEvent event);
    // Exactly these bytes as one input report on a collection (any id, any length up to the
    // declared one; longer is cut to it, as a device cannot send more).
    void transmitterSendRaw(TransmitterId id, std::vector<std::uint8_t> bytes,
                            HidCollectionRole role = HidCollectionRole::Vendor);
    // A remote device's button on the consumer collection: report id 1, byte 1 the low byte
    // of the consumer usage (0xB5 next, 0xB6 previous, 0xB7 stop, 0xCD play/pause), then,
    // with `release`, the release report (usage 0).
    void pressRemoteKey(TransmitterId id, std::uint8_t usageLowByte, bool release = true);

    // The reader's side. Reports waiting in the open handles of a collection; whether a
    // thread is blocked in a read on it; the number of handles open on it.
    std::size_t transmitterQueuedReports(TransmitterId id,
                                         HidCollectionRole role = HidCollectionRole::Vendor) const;
    bool transmitterReadPending(TransmitterId id,
                                HidCollectionRole role = HidCollectionRole::Vendor) const;
    std::size_t transmitterOpenHandles(TransmitterId id,
                                       HidCollectionRole role = HidCollectionRole::Vendor) const;
    // Waits (bounded in real time) until the world is idle with a read pending on the
    // collection and nothing waiting for it: the reader has taken every report and blocks.
    bool waitForTransmitterRead(TransmitterId id,
                                HidCollectionRole role = HidCollectionRole::Vendor,
                                std::chrono::milliseconds bound = std::chrono::seconds(20));

    // ------------------------------------------------------------ journal
    // What the program did to the world, in order, as readable lines: registry keys created
    // and values written, windows created and destroyed, messages posted to other programs'
    // windows, modals opened and how they were answered, files written, devices plugged in
    // and out, the commands the transmitter received and the reports it sent. The simulator
    // prints it as the transcript; takeJournal() returns the lines since the last call.
    std::vector<std::string> takeJournal();
    std::vector<std::string> journal() const; // every line so far

    // ------------------------------------------------------------ media players
    // Installing writes the player's detection key under the roots asked for, the value
    // its program file is found by, the program file itself and, for Winamp, "winamp.ini".
    // A running player is a process of its own with one top-level window of its fixed class
    // (titled with its display name); its windows go when it quits, as does the process.
    // It starts when the user starts it or when the shell opens its program file with
    // "open" (after any handler of setShellExecuteHandler agreed, result > 32); a player
    // already running is not started twice. Starting does not bring it to the front.
    // It quits on a close request after its delay (moved by virtual time), when the user
    // quits it, or when its process is terminated. Once the program's process has ended,
    // time no longer moves for delays, and a pending close completes at once.
    // Every function takes a display name; other names give false, 0 or nothing.
    static std::vector<String> playerNames();       // the five, deep-integration ones first
    bool installPlayer(const PlayerConfig& config); // again: replaces the registration
    bool playerInstalled(const String& name) const;
    // The detection keys the catalogue tries, in its order (HKCU first).
    std::vector<std::pair<plat::HKey, String>> playerDetectionKeys(const String& name) const;
    // Whether one of those keys exists, i.e. whether the catalogue lists the player.
    bool playerDetectable(const String& name) const;
    String playerProgramPath(const String& name) const; // the file the shell must open
    String playerDirectory(const String& name) const;
    bool startPlayer(const String& name); // false when not installed
    bool quitPlayer(const String& name);  // false when not running
    bool playerRunning(const String& name) const;
    Hwnd playerWindow(const String& name) const;        // its main window, 0 if none
    Hwnd playerUpgradeWindow(const String& name) const; // Musicmatch's prompt, 0 if none
    std::uint32_t playerProcessId(const String& name) const;
    bool setForegroundPlayer(const String& name); // false when not running
    // Its main window stops (or resumes) answering, as setWindowHung; false when not running.
    bool setPlayerHung(const String& name, bool hung);
    // Everything each player received, across its runs, oldest first.
    std::vector<PlayerAppCommand> playerAppCommands(const String& name) const;
    std::vector<PlayerCloseRequest> playerCloseRequests(const String& name) const;
    std::vector<PlayerStart> playerStarts(const String& name) const;
    // Microsoft IntelliType: its App Paths key under HKLM (absent by default).
    void setIntelliTypeInstalled(bool installed);
    // "winamp.ini" in Winamp's settings folder; setWinampIni is false when Winamp is not
    // installed.
    std::optional<std::string> winampIni() const;
    bool setWinampIni(const std::string& text);
    // Where Winamp keeps winamp.ini, found as Winamp finds it at its start: the folder that
    // "paths.ini" beside it names in "[Winamp]" "inidir" ("{N}" a shell folder, %VARIABLES%
    // expanded, a relative path from the program folder) when that folder exists, else the
    // program folder. Empty when Winamp is not installed.
    String winampSettingsFolder() const;


    // ------------------------------------------------------------ audio devices
    // A fresh machine has "dsound.dll" working and no audio device at all (tests add what
    // they need), and the sound mapper's HKLM value "SetupPreferredAudioDevicesCount" (1) in
    // "SYSTEM\CurrentControlSet\Control\MediaResources\SetupPreferredAudioDevices\"; the
    // user's "Playback" does not exist until something writes it.
    //
    // A transmitter brings its audio function while plugged in: a WDM render device described
    // "USB Audio Device" whose interface path carries its USB ids ("vid_0b7a&pid_0100" as today's
    // Windows spells them, "Vid_0b7a&Pid_0100" as older Windows did), with the wave name
    // "Quorvane Auravo", one mixer, the same GUID at every plug-in, numbered like any device
    // without a fixed wave id. Its endpoint leads to the USB device
    // "USB\VID_0B7A&PID_0100&MI_00\..." (see TransmitterAudioIdentity).
    AudioDeviceId addAudioDevice(AudioDeviceConfig config);
    bool removeAudioDevice(AudioDeviceId id); // false when not present
    std::vector<AudioDeviceView> audioDevices() const; // present, in enumeration order
    std::optional<AudioDeviceId> transmitterAudioDevice(TransmitterId id) const; // while plugged
    // Devices enumerate in plug-in order; these ids come first, in this order.
    void setAudioEnumerationOrder(std::vector<AudioDeviceId> order);
    void setDsoundFailure(DsoundFailure failure);
    // Loaded "dsound.dll" modules and COM objects (DirectSound's and Core Audio's) the program
    // has not released or freed.
    int audioObjectsOutstanding() const;
    // Enumerations run so far (each a whole pass of the records).
    int audioEnumerations() const;

    // Which Windows plays the sound (the older one by default). On today's Windows the first
    // render device to appear becomes the default endpoint of every role, and when a role's
    // default goes, the first remaining render device in enumeration order takes its place.
    // Endpoint ids are not made from the DirectSound GUIDs: only the endpoint's GUID property
    // carries those. Core Audio works on the program's main thread and on threads that entered
    // an apartment (CoInitializeEx); elsewhere it cannot be created. (Windows lets such a
    // thread in while another keeps the multithreaded apartment alive; the program must not
    // count on that, and here it cannot.)
    void setWindowsAudio(WindowsAudio audio);
    void setTransmitterAudioIdentity(TransmitterAudioIdentity identity);
    // What a present device's endpoint leads to from now on; false when it is not present.
    bool setAudioHardwareRoute(AudioDeviceId id, HardwareRoute route);
    // The user picks the default device in the system's sound settings: for one role, or
    // (nothing) for all three. False on the older Windows or for a device that is no render
    // endpoint.
    bool setDefaultEndpoint(AudioDeviceId id,
                            std::optional<plat::EndpointRole> role = std::nullopt);
    std::optional<AudioDeviceId> defaultEndpoint(plat::EndpointRole role) const;
    // The policy-config class exists on today's Windows (by default) or not (as under Wine);
    // its SetDefaultEndpoint fails with `hresult` (0: it works).
    void setPolicyConfigAvailable(bool available);
    void setPolicyConfigFailure(std::int32_t hresult);
    // The render device the system plays on for a program that asks for the default device:
    // on today's Windows the console default endpoint; on the older one the device whose wave
    // name "Playback" names, else wave device 0.
    std::optional<AudioDeviceId> systemDefaultPlayback() const;

    // ------------------------------------------------------------ accounting
    // Every object the simulated PC has handed out and that is still live (see HandleKind).
    HandleSnapshot handles() const;

    struct Impl;

private:
    std::shared_ptr<SentCall> queueOnTopModal(const std::function<void(ModalContext&)>& act,
                                              const char* who);

    // The players live beside the rest of the machine; attaching them at construction lets
    // them see the shell and process terminations before the program takes the ports.
    static std::shared_ptr<PlayerWorld> attachPlayers(Impl& impl);
    // The settings folder Winamp finds for its program folder `directory`
    // (winampSettingsFolder); with `wanted`, the folder paths.ini names, existing or not.
    String winampFolderFor(const String& directory, bool wanted = false) const;
    void announceTransmitter(TransmitterId id, const std::vector<String>& paths,
                             plat::WParam event, InterfaceNotices notices);

    std::unique_ptr<Impl> impl_;
    std::shared_ptr<PlayerWorld> players_ = attachPlayers(*impl_);
};

} // namespace sim
