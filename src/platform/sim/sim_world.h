// The inside of the simulated PC: one world shared by every port, guarded by one mutex.
// Tests do not include this; they use sim_pc.h.
//
// Threads. Every thread that calls into the world has a record: the program's main thread
// (startProgram), threads the program starts (startThread), and "external" threads (the
// test). A record is either running or blocked in a seam call (sleep, message wait, object
// wait, cross-thread send, device read). Whoever makes a blocked thread runnable marks it
// running at once, under the lock, so "every thread is blocked" is never true while a wake-up
// is still in flight. That is what makes idle detection exact rather than a guess.
//
// Time. Virtual milliseconds move only when a "driver" moves them: the test (advance), or a
// sleep of the main thread (with auto-advance) or of an external thread. The driver steps
// from event to event (sleep deadlines, timed waits, timers), and before each step waits
// until every other program thread is blocked again, so background threads see time pass in
// order and a long wait costs no real time.
//
// The world lock is never held while program code runs (window procedures, dialog targets,
// hooks, thread bodies, the script and the failure handler).
#pragma once

#include "sim_records.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace sim {

struct SimMachine::Impl {
    Impl();
    ~Impl();

    // ---------------------------------------------------------------- core state
    mutable std::mutex m;
    std::condition_variable cv;

    std::vector<std::unique_ptr<ThreadRec>> threads;
    std::map<std::thread::id, ThreadRec*> bySystemId;
    std::uint32_t nextThreadId = 2000;
    ThreadRec* mainThread = nullptr;
    std::optional<int> exitCode;
    bool ending = false;

    std::uint64_t now = 0;
    bool autoAdvance = true;
    ThreadRec* driver = nullptr;
    std::chrono::milliseconds settleBound{10000};

    std::function<void(const std::string&)> failureHandler;
    std::vector<std::string> failures;
    std::vector<std::string> journalLines;
    std::size_t journalTaken = 0;

    // ---------------------------------------------------------------- objects
    Handle nextHandle = 0x100;
    std::map<Handle, KernelObject> objects;
    std::map<String, std::shared_ptr<MutexObject>> namedMutexes;
    std::map<String, std::uint32_t> mutexFailures;

    std::uint64_t nextOrder = 1;
    Hwnd nextHwnd = 0x10010;
    std::map<Hwnd, std::unique_ptr<Window>> windows;
    Hwnd foreground = 0;
    std::vector<Timer> timers;
    std::uint64_t nextTimerSerial = 1;
    bool timersFail = false;
    bool deviceNotificationFails = false;
    // The program runs elevated: other processes' messages reach its windows only where a
    // window lets them through (User Interface Privilege Isolation).
    bool programElevated = false;
    plat::Point cursor{640, 400};
    std::map<String, std::uint32_t> registeredMessages;
    std::uint32_t nextRegisteredMessage = 0xC000;

    std::deque<ScriptEntry> script;
    std::vector<ModalView> history;
    std::vector<ModalFrame*> openFrames; // user-visible modals, innermost last
    std::uint64_t nextFrameSerial = 1;

    HMenu nextMenu = 0x30000;
    std::map<HMenu, Menu> menus;
    std::vector<TrayIcon> trayIcons;

    // registry
    RegKey hkcu, hklm;
    std::map<HKey, OpenKey> openKeys;
    HKey nextKey = 0x1000;
    std::optional<bool> hklmWritable; // unset: follows the token's Administrators membership

    // files
    std::map<String, SimFile> files;
    std::set<String> folders;
    std::map<Handle, OpenFile> openFiles;
    std::set<FileFault> fileFaults;
    int sparedReads = 0;
    int readFaultsLeft = -1; // FileFault::Read fails this many more opens; negative: all
    std::uint32_t nextScratchName = 1;
    bool fileFault(FileFault f) const { return fileFaults.count(f) != 0; }

    // the user's folders: the shell's special folders by CSIDL, and the environment by
    // folded name (the name as set, and its value)
    std::map<int, String> shellFolders;
    std::map<String, std::pair<String, String>> environment;

    // resources
    std::vector<std::uint8_t> resourceBlob;
    bool customBlob = false;
    std::optional<res::ResourceSet> resourceSet;
    bool resourcesParsed = false;
    bool libraryPresent = true;
    bool libraryLoaded = false;
    // By module, icon id and size (0: LoadIcon's large image).
    std::map<std::tuple<Module, int, int>, plat::HIcon> icons;
    std::map<plat::HIcon, int> iconIds;
    std::map<plat::HIcon, int> iconSizes; // the small icons' sizes in pixels
    std::uint32_t dpi = 96;               // of the one monitor
    plat::HIcon nextIcon = 0x20000;
    plat::HBitmap nextBitmap = 0x28000;
    // Bitmaps from LoadBitmapW (nothing here deletes one): resource id and owner.
    std::map<plat::HBitmap, std::pair<int, std::uint32_t>> bitmaps;

    // processes
    std::vector<plat::SidAndAttributes> tokenGroups;
    bool tokenUnavailable = false;
    std::set<std::uint32_t> deadProcesses;
    std::function<std::intptr_t(const String&, const String&)> shellHandler;

    // device interface paths: stored as the older Windows spelled them, handed out spelled
    // by this (spelledForEnumeration, spelledForNotification)
    DevicePathSpelling pathSpelling = DevicePathSpelling::Current;

    // audio: told, lock held, when a transmitter is plugged in (true) or out (false), so
    // that its audio function comes and goes with it (sim_audio.cpp).
    std::function<void(TransmitterId, bool)> transmitterPlugged;

    // ---------------------------------------------------------------- ports
    std::unique_ptr<plat::Registry> registryPort;
    std::unique_ptr<plat::Files> filesPort;
    std::unique_ptr<plat::Folders> foldersPort;
    std::unique_ptr<plat::Threads> threadsPort;
    std::unique_ptr<plat::Desktop> desktopPort;
    std::unique_ptr<plat::UserInterface> uiPort;
    std::unique_ptr<plat::Resources> resourcesPort;
    std::unique_ptr<plat::Hid> hidPort;
    std::unique_ptr<plat::Audio> audioPort;
    plat::CoreAudio* coreAudioPort = nullptr; // the audio port's other face (sim_audio.cpp)
    std::unique_ptr<plat::Processes> processesPort;

    // ---------------------------------------------------------------- threads (sim_world.cpp)
    ThreadRec* current(Lock& lk); // the caller's record, created for external threads
    // The process the calling thread belongs to: the program's for its own threads, else
    // kOutsideProcessId (the test).
    std::uint32_t callerProcess(Lock& lk);
    bool drivesClock(const ThreadRec* t) const;
    WakeReason block(Lock& lk, ThreadRec* self, BlockKind kind,
                     std::optional<std::uint64_t> deadline);
    void wake(ThreadRec* t, WakeReason why);
    void wakeForMessages(ThreadRec* t);
    bool quiet(const ThreadRec* self) const;
    bool waitQuiet(Lock& lk, const ThreadRec* self, std::chrono::milliseconds bound,
                   const char* what);
    std::string busyThreads(const ThreadRec* self) const;
    std::optional<std::uint64_t> nextEvent() const;
    void fireDue();
    // Moves the clock to `target` event by event; stops early when `stop` says so.
    void driveTo(Lock& lk, ThreadRec* self, std::uint64_t target,
                 const std::function<bool()>& stop);
    void sleepFor(std::uint32_t ms);
    Handle startThread(std::function<void()> body, ThreadKind kind, const std::string& label);
    void threadEnded(ThreadRec* self);
    void beginEnding(Lock& lk);
    void reapEndedThreads();
    void joinAll(std::chrono::milliseconds bound);

    // failures and journal (lock held for journal; fail unlocks around the handler)
    void fail(Lock& lk, const std::string& message);
    void journal(std::string line);

    // ---------------------------------------------------------------- windows (sim_world.cpp)
    Window* window(Hwnd hwnd);
    const Window* window(Hwnd hwnd) const;
    Window& newWindow(WindowKind kind, const String& className, const String& title);
    void destroyWindowLocked(Hwnd hwnd);
    std::string windowLabel(const Window& w) const;
    Hwnd findTopLevel(const String* className, const String* title) const;
    // The window itself, or for a child window its top-level ancestor (lock held).
    Hwnd topLevelOf(Hwnd hwnd) const;
    bool postLocked(Lock& lk, Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam,
                    bool byProgram);
    bool post(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam, bool byProgram);
    LResult send(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam);
    // SendMessageTimeoutW (see Desktop::sendMessageTimeout).
    bool sendTimeout(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam,
                     std::uint32_t flags, std::uint32_t milliseconds, LResult& result);
    // A window of another program stops or resumes answering (SimPc::setWindowHung).
    void setHung(Hwnd hwnd, bool hung);
    void sendAsync(Hwnd hwnd, std::uint32_t msg, WParam wParam, std::shared_ptr<void> payload,
                   LParam lParam);
    void handleSent(const std::shared_ptr<SentCall>& call);
    // Runs the window's procedure on the calling thread; `source` is how the message came.
    LResult callWindowProc(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam,
                           plat::MessageSource source = plat::MessageSource::ThisThread);
    LResult foreignReceive(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam, bool sent);
    // Runs the modal loop of `frame` on the calling thread until it ends.
    void runModal(ModalFrame& frame);
    void endFrame(ModalFrame& frame, std::intptr_t result);

    // ---------------------------------------------------------------- controls (sim_controls.cpp)
    LResult defDialogProc(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam);
    LResult controlProc(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam);
    LResult messageBoxProc(Hwnd hwnd, std::uint32_t msg, WParam wParam, LParam lParam);
    int defaultButtonId(Hwnd dialog);
    // DM_SETDEFID: the new default button, and the BS_DEFPUSHBUTTON style moved to it.
    void setDefaultButton(Hwnd dialog, int id);
    // A click on a control as the user makes it (auto check boxes toggle first).
    void click(Hwnd control);

    // ---------------------------------------------------------------- user interface (sim_ui*.cpp)
    Hwnd createDialogWindow(const res::DialogTemplate& t, int templateId, Hwnd parent, bool child,
                            ThreadRec* self, plat::DialogTarget* target, Hwnd& focus,
                            Module module = 0); // lock held; `module` holds the template
    std::intptr_t dialogBox(Module module, int templateId, Hwnd parent, plat::DialogTarget* target);
    bool endDialog(Hwnd dialog, std::intptr_t result);
    int messageBox(Hwnd owner, const String& text, const String& caption, std::uint32_t style,
                   plat::MessageBoxHook* hook);
    bool trackPopupMenu(HMenu menu, Hwnd owner);
    // Parts the modal windows share (sim_ui_modals.cpp); lock held. A child control of the
    // program's thread; a frame begun on `hwnd`; an owner disabled while a modal runs (whether
    // it was enabled) and given back its state; a frame no longer open.
    Hwnd addChildControl(Hwnd parent, ThreadRec* self, const String& className, int id,
                         const String& text, std::uint32_t style);
    void beginFrame(ModalFrame& frame, ModalKind kind, Hwnd hwnd, ThreadRec* self);
    bool disableOwner(Hwnd owner);
    void restoreOwner(Hwnd owner, bool wasEnabled);
    void closeFrame(ModalFrame& frame);
    // The message box's window with its text and buttons; lock held.
    Hwnd createMessageBoxWindow(Hwnd owner, ThreadRec* self, const String& text,
                                const String& caption, std::uint32_t style);
    // The controls the user sees in a modal: its own, and for a sheet those of the page shown.
    std::vector<Hwnd> userControlsOf(const Window& w) const; // lock held

    // ---------------------------------------------------------------- property sheets
    // (sim_sheet.cpp)
    std::intptr_t propertySheet(const plat::PropertySheetSpec& request);
    int activePageIndex(Hwnd sheet);
    LResult sheetProc(Hwnd sheet, std::uint32_t msg, WParam wParam, LParam lParam);
    bool selectPage(Hwnd sheet, int index, bool mayRefuse);
    // The page being shown in place of `old`, once it has heard that it becomes active.
    bool showPage(Hwnd sheet, Hwnd old, Hwnd page);
    // The sheet's buttons: OK, Cancel, Apply and Help.
    LResult sheetCommand(Hwnd sheet, int id);
    // The sheet's window with its tab control and buttons; lock held.
    Hwnd createSheetWindow(const plat::PropertySheetSpec& request, SheetState& state, Hwnd owner,
                           ThreadRec* self);
    // Pages and then the sheet destroyed, each told so first; the owner gets its state back.
    void destroySheet(Hwnd sheet, SheetState& state, ModalFrame& frame, Hwnd owner,
                      bool ownerWasEnabled);
    LResult notifyPage(Hwnd sheet, Hwnd page, std::uint32_t code, LParam extra);
    bool applyPages(Hwnd sheet, bool closing);
    // The sheet's cancel processing; PSN_RESET tells the pages whether the close box did it.
    void cancelSheet(Hwnd sheet, bool closeBox);
    ModalView viewOf(const ModalFrame& frame) const; // lock held
    ModalView viewOfWindow(const Window& w, ModalKind kind) const;
    void menuView(HMenu menu, const String& prefix, std::vector<ControlView>& out) const;
    std::vector<MenuNode> menuTree(HMenu menu, int depth) const;
    // The modal is on screen: recorded, journaled, and marked for the user's first action.
    void showModal(ModalFrame& frame);
    // The user meets the modal (its script entry acts, or an unexpected one fails and is
    // dismissed); runModal calls it once the modal's queue is first empty.
    void meetUser(ModalFrame& frame);
    void dismiss(ModalFrame& frame);
    // Runs the scripted user's `act` on the open modal `serial` (on the modal's own thread).
    void actOn(std::uint64_t serial, const std::function<void(ModalContext&)>& act);
    std::string screenLocked() const;

    // ---------------------------------------------------------------- registry (sim_registry.cpp)
    RegKey* rootKey(HKey root);
    RegKey* walk(RegKey* from, const std::vector<String>& path) const;
    bool hklmWritableNow() const;
    bool tokenIsAdministrator() const;

    // ---------------------------------------------------------------- processes
    bool processAlive(std::uint32_t pid) const; // lock held

    // ---------------------------------------------------------------- resources
    const res::ResourceSet* resourcesOf(Module module); // lock held
    plat::HIcon iconHandle(Module module, int id, int size = 0);

    // ---------------------------------------------------------------- accounting
    // (sim_handles.cpp) Every live object, read from the records the ports keep (lock held).
    std::vector<LiveObject> liveObjects() const;
    void liveWindowObjects(std::vector<LiveObject>& out) const;
};

// The live objects of the HID and audio worlds (lock held).
void hidLiveObjects(const SimPc::Impl& w, std::vector<LiveObject>& out);
void audioLiveObjects(const SimPc::Impl& w, std::vector<LiveObject>& out);

// A device interface path as enumeration returns it, and as a device-change notification
// announces it (see DevicePathSpelling).
String spelledForEnumeration(const String& path, DevicePathSpelling spelling);
String spelledForNotification(const String& path, DevicePathSpelling spelling);

// Splits a registry or file path into its components; empty components are dropped only at
// the end (a trailing backslash), anywhere else they make the path invalid.
bool splitPath(const String& path, std::vector<String>& parts);
// The registry key at `key` under `root`, created with its parents as needed; null for an
// invalid path.
RegKey* ensureKey(SimPc::Impl& w, plat::HKey root, const String& key);

// The moment the machine is switched on, and calendar time of any moment (UTC).
extern const std::int64_t kStartUnixTime;
plat::LocalTime localTimeAt(std::int64_t unixTime);

// The key under which the file system stores a path (case-folded, one kind of separator).
String normaliseFilePath(const String& path);
// Whether the folder with this key (normalised, no trailing separator) exists: it was created
// or holds a file; a drive root always does. World lock held.
bool folderExistsLocked(const SimPc::Impl& w, const String& key);

std::string messageName(std::uint32_t msg);
std::string messageText(std::uint32_t msg, WParam wParam, LParam lParam);

// Program process and module identities.
inline constexpr Module kProgramModule = 0x400000;
inline constexpr Module kLibraryModule = 0x10000000;

// Port factories (one per file).
std::unique_ptr<plat::Registry> makeRegistryPort(SimPc::Impl& w);
std::unique_ptr<plat::Files> makeFilesPort(SimPc::Impl& w);
std::unique_ptr<plat::Folders> makeFoldersPort(SimPc::Impl& w);
std::unique_ptr<plat::Threads> makeThreadsPort(SimPc::Impl& w);
std::unique_ptr<plat::Desktop> makeDesktopPort(SimPc::Impl& w);
std::unique_ptr<plat::UserInterface> makeUiPort(SimPc::Impl& w);
std::unique_ptr<plat::Resources> makeResourcesPort(SimPc::Impl& w);
std::unique_ptr<plat::Hid> makeHidPort(SimPc::Impl& w);
std::unique_ptr<plat::Audio> makeAudioPort(SimPc::Impl& w);
std::unique_ptr<plat::Processes> makeProcessesPort(SimPc::Impl& w);

} // namespace sim
