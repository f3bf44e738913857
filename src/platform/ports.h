// The platform seam: one small interface per Windows service the program uses, each
// shaped after the Win32 calls it stands for (same results, error codes and blocking
// behaviour) but in portable types. Two backends implement them: win32/ (the product)
// and sim/ (the simulated PC used by tests and the simulator).
#pragma once

#include "constants.h"
#include "types.h"

#include <cstddef>
#include <functional>

namespace plat {

// ---------------------------------------------------------------- registry
class Registry {
public:
    virtual ~Registry() = default;
    // RegOpenKeyExW(root, subkey, 0, access, &out). Returns a Win32 error code.
    virtual std::int32_t openKey(HKey root, const String& subkey, std::uint32_t access, HKey& out) = 0;
    // RegCreateKeyW(root, subkey, &out): opens the key, creating it and every missing parent.
    virtual std::int32_t createKey(HKey root, const String& subkey, HKey& out) = 0;
    // RegQueryValueExW. `data` may be null to ask for the size. `size` is in bytes, in and out;
    // ERROR_MORE_DATA when the data does not fit (size then holds what is needed).
    virtual std::int32_t queryValue(HKey key, const String& name, std::uint32_t* type, void* data,
                                    std::uint32_t* size) = 0;
    // RegSetValueExW: stores exactly `size` bytes of `data` with `type`.
    virtual std::int32_t setValue(HKey key, const String& name, std::uint32_t type, const void* data,
                                  std::uint32_t size) = 0;
    virtual std::int32_t deleteValue(HKey key, const String& name) = 0;
    // RegDeleteKeyW: deletes a key that has no subkeys.
    virtual std::int32_t deleteKey(HKey root, const String& subkey) = 0;
    virtual std::int32_t closeKey(HKey key) = 0;
};

// ---------------------------------------------------------------- files
enum class FileMode {
    Read,      // existing file, binary read ("rb")
    WriteNew,  // create or truncate, binary read/write ("w+b")
};

// What one readLine delivered.
enum class ReadResult {
    Line,  // `line` holds the next bytes of the file
    End,   // nothing is left: the whole file has been read
    Error, // the read failed (a disk or network error, a closed handle): the rest is unknown
};

class Files {
public:
    virtual ~Files() = default;
    virtual Handle open(const String& path, FileMode mode) = 0; // 0 on failure
    // fgets on a binary stream: reads at most maxBytes - 1 bytes, stopping after a '\n'.
    // A failing read is an Error even when fgets would hand over the bytes it read before
    // (feof and ferror tell the two apart); fewer than two bytes of room is an Error too.
    virtual ReadResult readLine(Handle file, std::size_t maxBytes, std::string& line) = 0;
    virtual bool write(Handle file, const std::string& bytes) = 0;
    virtual bool flush(Handle file) = 0; // flushes to the disk, not only to the C library
    virtual bool close(Handle file) = 0;
    virtual bool exists(const String& path) = 0;
    virtual bool deleteFile(const String& path) = 0;
    // ReplaceFileW(replaced, replacement, backup, no flags): `replaced` takes the contents of
    // `replacement`, which goes; with a `backup` name (may be null) the old contents stay
    // under it. ERROR_SUCCESS (0), else the error code, and a failure need not leave the
    // files as they were:
    //   ERROR_UNABLE_TO_REMOVE_REPLACED (1175): nothing moved; both keep their names.
    //   ERROR_UNABLE_TO_MOVE_REPLACEMENT (1176): `replacement` keeps its name. With a backup
    //     name `replaced` keeps its own; without one `replaced` is gone.
    //   ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 (1177): `replacement` keeps its name; `replaced`
    //     is no longer there: it lies under the backup name (without one, under a name the
    //     system chose).
    //   any other code (a missing file, access denied, a sharing violation): nothing moved.
    // Its write-through flag is documented as unsupported: flush the replacement first.
    // Callers look at which files are left rather than trust the code alone.
    virtual std::uint32_t replaceFile(const String& replaced, const String& replacement,
                                      const String* backup) = 0;
    // MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
    virtual bool moveFileReplace(const String& from, const String& to) = 0;
};

// ---------------------------------------------------------------- the user's folders
// Where other programs keep their settings: the shell's special folders and the process
// environment.
class Folders {
public:
    virtual ~Folders() = default;
    // SHGetFolderPathW(no owner, csidl, no token, SHGFP_TYPE_CURRENT): the folder's path.
    // False when the shell knows no such folder for this user or it does not exist.
    virtual bool shellFolderPath(int csidl, String& path) = 0;
    // ExpandEnvironmentStringsW: each %NAME% of a variable that is set replaced by its value,
    // any other text (an unknown %NAME% included) left as written. False when it failed.
    virtual bool expandEnvironmentStrings(const String& text, String& expanded) = 0;
    // GetFileAttributesW names a folder (FILE_ATTRIBUTE_DIRECTORY), not a file or nothing.
    virtual bool isFolder(const String& path) = 0;
};

// ---------------------------------------------------------------- threads, sync, clock
class Threads {
public:
    virtual ~Threads() = default;
    // CreateMutexW(no attributes, initialOwner, name). `name` null: unnamed. `lastError`
    // receives GetLastError() (ERROR_ALREADY_EXISTS when a named mutex existed).
    virtual Handle createMutex(const String* name, bool initialOwner, std::uint32_t& lastError) = 0;
    virtual bool releaseMutex(Handle mutex) = 0;
    // WaitForSingleObject on a mutex or a thread handle (a thread is signalled when it ends).
    virtual std::uint32_t waitForSingleObject(Handle object, std::uint32_t milliseconds) = 0;
    virtual bool closeHandle(Handle object) = 0;
    // Starts a thread running `body`. The handle can be waited for and must be closed.
    // Threads are never terminated from outside: they leave their loops.
    virtual Handle startThread(std::function<void()> body) = 0;
    // True once the process is being torn down: endless loops (the audio thread) leave.
    // Always false in the product, whose threads end with the process.
    virtual bool processEnding() = 0;

    // Clock. Every sleep and clock read of the program goes through here.
    virtual std::int64_t timeNow() = 0; // time(): seconds since 1970-01-01 UTC
    virtual LocalTime localTime() = 0;
    virtual std::uint64_t tickCount() = 0; // milliseconds since start
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

// ---------------------------------------------------------------- windows and messages
// WM_DEVICECHANGE reaches the program's windows with lParam pointing to this (or 0),
// whatever the backend: the Win32 backend translates DEV_BROADCAST_DEVICEINTERFACE_W.
struct DeviceChangeInfo {
    std::uint32_t deviceType = 0; // DBT_DEVTYP_*
    String name;                  // the interface path, for DBT_DEVTYP_DEVICEINTERFACE
};

// WM_WINDOWPOSCHANGING reaches the program's windows with lParam pointing to this: the
// SWP_* flags of the change about to happen, which a handler may alter.
struct WindowPosChanging {
    std::uint32_t flags = 0;
};

// WM_HELP reaches the program's windows with lParam pointing to this.
struct HelpInfo {
    std::uint32_t contextId = 0;
    Point mousePos;
    Hwnd item = 0; // the control (or window) help was asked for; 0 for a menu item
};

// WM_NOTIFY reaches the program's windows with lParam pointing to this, whatever the
// backend: the notification's header and, for property-sheet notifications (PSN_*), the
// record's own lParam (PSN_APPLY: TRUE when the sheet is closing; PSN_RESET: TRUE when the
// sheet's close box or WM_CLOSE ended it, FALSE for its Cancel command). 0 for other codes.
struct NotifyInfo {
    Hwnd from = 0;
    std::uintptr_t idFrom = 0;
    std::uint32_t code = 0;
    LParam lParam = 0;
};

// HH_POPUP of HH_DISPLAY_TEXT_POPUP in portable form: text `stringId` of the help file's
// popup text file, shown at `position`; -1 colours and margins are the viewer's defaults.
struct HelpPopup {
    Module instance = 0;
    std::uint32_t stringId = 0;
    Point position;
    std::int32_t foreground = -1;
    std::int32_t background = -1;
    Rect margins{-1, -1, -1, -1};
};

struct WindowPlacement {
    Rect normalPosition;
};

class Desktop {
public:
    virtual ~Desktop() = default;
    // FindWindowW: either may be null (matches any). Top-level windows only, exact match.
    virtual Hwnd findWindow(const String* className, const String* title) = 0;
    virtual bool postMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam) = 0;
    virtual LResult sendMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam) = 0;
    // SendMessageTimeoutW: waits at most `milliseconds` for the answer (SMTO_ABORTIFHUNG: not at
    // all for a window whose thread has stopped answering). False when no answer came (time
    // out, hung, or the window is gone); `result` is then 0.
    virtual bool sendMessageTimeout(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam,
                                    std::uint32_t flags, std::uint32_t milliseconds,
                                    LResult& result) = 0;
    virtual bool isWindow(Hwnd window) = 0;
    virtual bool setForegroundWindow(Hwnd window) = 0;
    virtual Hwnd getForegroundWindow() = 0;
    virtual bool showWindow(Hwnd window, std::uint32_t command) = 0;
    virtual bool isWindowVisible(Hwnd window) = 0;
    virtual bool setWindowText(Hwnd window, const String& text) = 0;
    virtual String getWindowText(Hwnd window) = 0;
    virtual std::uint32_t getExStyle(Hwnd window) = 0;
    virtual void setExStyle(Hwnd window, std::uint32_t exStyle) = 0;
    virtual bool enableWindow(Hwnd window, bool enable) = 0;
    virtual bool isWindowEnabled(Hwnd window) = 0;
    virtual bool getWindowPlacement(Hwnd window, WindowPlacement& placement) = 0;
    virtual bool setWindowPlacement(Hwnd window, const WindowPlacement& placement) = 0;
    virtual Hwnd getDlgItem(Hwnd dialog, int controlId) = 0;
    // GetWindowThreadProcessId: returns the thread id, stores the process id.
    virtual std::uint32_t getWindowThreadProcessId(Hwnd window, std::uint32_t* processId) = 0;
    // SetTimer(window, id, ms, no callback): the timer id, 0 on failure. WM_TIMER arrives
    // in the window's queue with wParam = the id.
    virtual std::uintptr_t setTimer(Hwnd window, std::uintptr_t id, std::uint32_t milliseconds) = 0;
    virtual bool killTimer(Hwnd window, std::uintptr_t id) = 0;
    virtual Point getCursorPos() = 0;
    virtual std::uint32_t registerWindowMessage(const String& name) = 0;
    // ChangeWindowMessageFilterEx(window, msg, MSGFLT_ALLOW): lets `msg` reach `window` from
    // processes of a lower integrity level (the shell and other programs, when this program
    // runs elevated), which Windows otherwise keeps from it. False on failure.
    virtual bool allowMessageFromLowerIntegrity(Hwnd window, std::uint32_t msg) = 0;
    // RegisterDeviceNotificationW for device interfaces of `classGuid`; 0 on failure.
    virtual Handle registerDeviceNotification(Hwnd window, const Guid& classGuid) = 0;
};

// ---------------------------------------------------------------- user interface
// The framework's object behind a dialog, a property page or a property sheet, as a backend
// sees it. Called for every message the window receives, from WM_INITDIALOG on.
class DialogTarget {
public:
    virtual ~DialogTarget() = default;
    // True when handled (`result` is the message's result); false lets the default dialog
    // processing run (Escape and WM_CLOSE become IDCANCEL, Enter the default button, ...).
    virtual bool dialogMessage(Hwnd window, std::uint32_t msg, WParam wParam, LParam lParam,
                               LResult& result) = 0;
};

// How the message a dialog, page or sheet is handling reached it. DM_GETDEFID, which the
// dialog manager sends on the dialog's own thread when the user presses Enter, has WM_USER's
// number; the program's requests are posted (or, from another process, sent).
enum class MessageSource {
    Queue,       // posted: taken from the thread's message queue
    ThisThread,  // sent by the window's own thread (the program, or the dialog manager)
    OtherThread, // sent by another thread or process
};

// Called once while a message box is being initialised, before it is shown: it may
// change the button texts (controls IDOK, IDCANCEL, ...) and the extended style.
class MessageBoxHook {
public:
    virtual ~MessageBoxHook() = default;
    virtual void onInit(Hwnd box) = 0;
};

struct PropertyPageSpec {
    Module resources = 0;
    int templateId = 0;
    DialogTarget* target = nullptr;
};

struct PropertySheetSpec {
    Hwnd parent = 0;
    String caption;
    int startPage = 0;
    std::vector<PropertyPageSpec> pages;
    DialogTarget* sheet = nullptr; // messages of the sheet window itself
};

// The notification-area icon record (first layout: message, icon, tip of 63 characters).
struct NotifyIconData {
    Hwnd window = 0;
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
    std::uint32_t callbackMessage = 0;
    HIcon icon = 0;
    String tip;
};

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // DialogBoxParamW: runs the dialog modally on the calling thread; the EndDialog result,
    // or -1 when the template cannot be loaded.
    virtual std::intptr_t dialogBox(Module resources, int templateId, Hwnd parent,
                                    DialogTarget* target) = 0;
    // EndDialog. Never for a property sheet: it would only hide the sheet, while
    // PropertySheetW kept running.
    virtual bool endDialog(Hwnd dialog, std::intptr_t result) = 0;
    // MessageBoxW; `hook` (may be null) runs as the box initialises. The button pressed.
    virtual int messageBox(Hwnd owner, const String& text, const String& caption,
                           std::uint32_t style, MessageBoxHook* hook) = 0;
    // PropertySheetW, modal. The sheet's result, -1 on failure. It ends through the sheet's
    // own processing only: its OK and Cancel commands (PSM_PRESSBUTTON), Escape, WM_CLOSE.
    virtual std::intptr_t propertySheet(const PropertySheetSpec& spec) = 0;
    // The index of the active page of an open sheet, -1 if none (PropSheet_HwndToIndex).
    virtual int activePageIndex(Hwnd sheet) = 0;
    // Where the message that the calling thread's dialog, page or sheet is handling now came
    // from (the innermost one, when handlers nest). ThisThread outside any handler.
    virtual MessageSource currentMessageSource() = 0;

    virtual HMenu loadMenu(Module resources, int menuId) = 0;
    virtual HMenu getSubMenu(HMenu menu, int position) = 0;
    virtual HMenu createPopupMenu() = 0;
    // InsertMenuW/AppendMenuW: `item` is a command id, or the submenu with MF_POPUP.
    virtual bool insertMenu(HMenu menu, std::uint32_t position, std::uint32_t flags,
                            std::uintptr_t item, const String& text) = 0;
    virtual bool appendMenu(HMenu menu, std::uint32_t flags, std::uintptr_t item,
                            const String& text) = 0;
    virtual bool checkMenuRadioItem(HMenu menu, std::uint32_t first, std::uint32_t last,
                                    std::uint32_t check, std::uint32_t flags) = 0;
    virtual bool setMenuDefaultItem(HMenu menu, std::uint32_t item, bool byPosition) = 0;
    // TrackPopupMenu: modal until the menu closes; a chosen command is posted to `owner`,
    // then WM_NULL (so that a menu opened from a notification icon closes properly).
    virtual bool trackPopupMenu(HMenu menu, std::uint32_t flags, Point at, Hwnd owner) = 0;
    virtual bool destroyMenu(HMenu menu) = 0;

    virtual bool shellNotifyIcon(std::uint32_t message, const NotifyIconData& data) = 0;
};

// ---------------------------------------------------------------- resources
class Resources {
public:
    virtual ~Resources() = default;
    // The resource-only library `name` (a file name) from the program's own folder, by its
    // full path and as a data file (LoadLibraryExW with LOAD_LIBRARY_AS_DATAFILE and
    // LOAD_LIBRARY_AS_IMAGE_RESOURCE): no other folder is searched and none of its code runs.
    // 0 on failure.
    virtual Module loadLibrary(const String& name) = 0;
    // The program's own module (its own resources).
    virtual Module programModule() = 0;
    // LoadStringW: false when the string does not exist.
    virtual bool loadString(Module module, std::uint32_t id, String& out) = 0;
    virtual HIcon loadIcon(Module module, int id) = 0;
    // The icon drawn at the small-icon size for the DPI of the monitor `window` is on (0: the
    // system's DPI), as the notification area shows it; not a large image scaled down. The
    // handle stays valid for the life of the process, like a shared icon's.
    virtual HIcon loadSmallIcon(Module module, int id, Hwnd window) = 0;
    virtual HBitmap loadBitmap(Module module, int id) = 0;
    // GetModuleFileNameW(NULL): the full path of the program's own file, however long;
    // empty on failure.
    virtual String programFile() = 0;
};

// ---------------------------------------------------------------- HID devices
struct HidAttributes {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

struct HidCaps {
    std::uint16_t usage = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t inputReportByteLength = 0;
    std::uint16_t outputReportByteLength = 0;
    std::uint16_t featureReportByteLength = 0;
};

class Hid {
public:
    virtual ~Hid() = default;
    virtual Guid getHidGuid() = 0;
    // SetupDiGetClassDevsW(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE) and the interface paths of
    // its members, in enumeration order.
    virtual StringArray enumerateInterfaces(const Guid& classGuid) = 0;
    // CreateFileW(path, read/write, shared read/write, OPEN_EXISTING); 0 on failure.
    virtual Handle open(const String& path) = 0;
    virtual bool getAttributes(Handle device, HidAttributes& attributes) = 0;
    // HidD_GetPreparsedData + HidP_GetCaps + HidD_FreePreparsedData.
    virtual bool getCaps(Handle device, HidCaps& caps) = 0;
    // ReadFile: blocks until the device sends a report, the read is cancelled, or the device
    // goes away. False with `error` (ERROR_OPERATION_ABORTED after cancelRead).
    virtual bool read(Handle device, std::uint8_t* buffer, std::uint32_t length,
                      std::uint32_t& bytesRead, std::uint32_t& error) = 0;
    // Cancels a read pending on `device` from another thread and returns once it has ended.
    // A report that arrived first is still delivered to the reader.
    virtual void cancelRead(Handle device) = 0;
    // WriteFile; does not wait for the device's answer.
    virtual bool write(Handle device, const std::uint8_t* buffer, std::uint32_t length,
                       std::uint32_t& bytesWritten) = 0;
    virtual bool close(Handle device) = 0;
};

// ---------------------------------------------------------------- audio devices
// One record of DirectSound's private device enumeration (the wide-character layout).
struct DsDeviceDescription {
    std::uint32_t type = 0;     // 0 emulated, 1 VXD, 2 WDM
    std::uint32_t dataFlow = 0; // 0 render, 1 capture
    Guid deviceId;
    String description;
    String module;
    String interfacePath;
    std::uint32_t waveDeviceId = 0;
};

class Audio {
public:
    virtual ~Audio() = default;
    // The four set-up steps of one enumeration pass, as "dsound.dll" offers them; each
    // returns 0 on failure. Every object obtained is released with release().
    virtual Module loadDsound() = 0;                              // "dsound.dll", system folder
    virtual bool hasDllGetClassObject(Module dsound) = 0;         // GetProcAddress
    virtual Handle getClassFactory(Module dsound) = 0;            // CLSID_DirectSoundPrivate
    virtual Handle createPropertySet(Handle classFactory) = 0;    // IKsPropertySet
    // DSPROPERTY_DIRECTSOUNDDEVICE_ENUMERATE_W: calls `callback` once per record, in order,
    // on the calling thread, while it returns true.
    virtual bool enumerateDevices(Handle propertySet,
                                  const std::function<bool(const DsDeviceDescription&)>& callback) = 0;
    virtual void release(Handle object) = 0;
    virtual void freeDsound(Module dsound) = 0;
    virtual std::uint32_t mixerGetNumDevs() = 0;
    // mixerGetDevCapsW: the product name of mixer `id`; false when it cannot be read.
    virtual bool mixerGetProductName(std::uint32_t id, String& productName) = 0;
};

// ---------------------------------------------------------------- Core Audio
// Windows Vista and later keep a default render endpoint per role and no longer read the
// sound mapper's preferences; older Windows have none of this. HRESULTs are passed through
// as they come (negative: failure).

// ERole: the roles a default endpoint is kept for.
enum class EndpointRole : std::uint32_t { Console = 0, Multimedia = 1, Communications = 2 };

// An active render endpoint (IMMDevice).
struct AudioEndpoint {
    String id;   // IMMDevice::GetId, the key of every other call
    String guid; // PKEY_AudioEndpoint_GUID: its DirectSound device GUID as "{...}"; may be empty
};

// What leads from an endpoint down to the hardware it plays on; each text is empty where the
// system does not give it (as while the device is still arriving).
struct EndpointHardware {
    // The device its device topology's first connector is connected to
    // (IConnector::GetDeviceIdConnectedTo), e.g. "{2}.\\?\usb#vid_...#{...}\global".
    String connectedDeviceId;
    // PKEY_Device_InstanceId of that device, the audio adapter, e.g. "USB\VID_...\...". Never
    // the endpoint's own ("SWD\MMDEVAPI\..."), which tells nothing of the hardware.
    String instanceId;
};

class CoreAudio {
public:
    virtual ~CoreAudio() = default;
    // CoInitializeEx(COINIT_MULTITHREADED) for a thread the program started itself: COM needs
    // it on every thread that uses it. True when the thread can use COM afterwards (also when
    // it already was in an apartment). Never undone: such a thread lives as long as the process.
    virtual bool enterApartment() = 0;
    // CoCreateInstance(MMDeviceEnumerator); 0 where Core Audio does not exist (older Windows)
    // or the calling thread is in no apartment. Released with release().
    virtual Handle createDeviceEnumerator() = 0;
    // EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE): each endpoint's id and GUID, in the
    // collection's order. False when there is no collection.
    virtual bool renderEndpoints(Handle enumerator, std::vector<AudioEndpoint>& endpoints) = 0;
    // GetDefaultAudioEndpoint(eRender, role) and that endpoint's id; the HRESULT (E_NOTFOUND
    // when there is no render endpoint).
    virtual std::int32_t defaultRenderEndpoint(Handle enumerator, EndpointRole role,
                                               String& id) = 0;
    // The hardware under endpoint `id`: false when the endpoint cannot be opened.
    virtual bool endpointHardware(Handle enumerator, const String& id, EndpointHardware& out) = 0;
    // CoCreateInstance of the policy-config class through which the system's own sound settings
    // change the default endpoint (undocumented, Windows 7 and later); 0 where it is missing.
    virtual Handle createPolicyConfig() = 0;
    // IPolicyConfig::SetDefaultEndpoint(id, role): the HRESULT.
    virtual std::int32_t setDefaultEndpoint(Handle policyConfig, const String& id,
                                            EndpointRole role) = 0;
    virtual void release(Handle object) = 0;
};

// ---------------------------------------------------------------- processes, security, shell
class Processes {
public:
    virtual ~Processes() = default;
    virtual Handle openProcess(std::uint32_t access, std::uint32_t processId) = 0;
    virtual bool terminateProcess(Handle process, std::uint32_t exitCode) = 0;
    virtual bool closeHandle(Handle object) = 0;

    // OpenProcessToken(current process, TOKEN_QUERY); 0 on failure.
    virtual Handle openProcessToken() = 0;
    // GetTokenInformation(TokenGroups) into a buffer of `bufferSize` bytes. `returnLength`
    // receives the size the group list needs (as Windows computes it); false with
    // ERROR_INSUFFICIENT_BUFFER in `error` when it does not fit.
    virtual bool getTokenGroups(Handle token, std::uint32_t bufferSize,
                                std::vector<SidAndAttributes>& groups,
                                std::uint32_t& returnLength, std::uint32_t& error) = 0;
    virtual bool closeToken(Handle token) = 0;

    // ShellExecuteW(owner, verb, file, no parameters, no directory, show). Result > 32 is success.
    virtual std::intptr_t shellExecute(Hwnd owner, const String& verb, const String& file,
                                       std::uint32_t show) = 0;
    // HtmlHelpW, loaded at run time; 0 when help is unavailable. For HH_DISPLAY_TEXT_POPUP
    // `data` points to a HelpPopup (the backend makes the HH_POPUP record of it).
    virtual Hwnd htmlHelp(Hwnd owner, const String& file, std::uint32_t command,
                          std::uintptr_t data) = 0;
};

// ---------------------------------------------------------------- the bundle
// A process installs one bundle at start. Ports are independent, so a bundle may mix
// backends (the real user interface with the virtual transmitter, for example).
struct Platform {
    Registry* registry = nullptr;
    Files* files = nullptr;
    Folders* folders = nullptr;
    Threads* threads = nullptr;
    Desktop* desktop = nullptr;
    UserInterface* ui = nullptr;
    Resources* resources = nullptr;
    Hid* hid = nullptr;
    Audio* audio = nullptr;
    CoreAudio* coreAudio = nullptr;
    Processes* processes = nullptr;
};

void install(const Platform& bundle);
const Platform& current();

inline Registry& registry() { return *current().registry; }
inline Files& files() { return *current().files; }
inline Folders& folders() { return *current().folders; }
inline Threads& threads() { return *current().threads; }
inline Desktop& desktop() { return *current().desktop; }
inline UserInterface& ui() { return *current().ui; }
inline Resources& resources() { return *current().resources; }
inline Hid& hid() { return *current().hid; }
inline Audio& audio() { return *current().audio; }
inline CoreAudio& coreAudio() { return *current().coreAudio; }
inline Processes& processes() { return *current().processes; }

} // namespace plat
