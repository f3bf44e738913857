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

#include "sim_pc.h"
#include "sim_resfile.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace sim {

using Lock = std::unique_lock<std::mutex>;
using plat::Handle;
using plat::HKey;
using plat::HMenu;
using plat::LParam;
using plat::LResult;
using plat::Module;
using plat::WParam;

// Win32 values the simulated controls need beyond those the program uses.
namespace win {
inline constexpr std::uint32_t kWmGetTextLength = 0x000E;
inline constexpr std::uint32_t kDmSetDefId = 0x0401;
inline constexpr std::uint32_t kDcHasDefId = 0x534B;
inline constexpr std::uint32_t kEnChange = 0x0300;
inline constexpr std::uint32_t kEmLimitText = 0x00C5;
inline constexpr std::uint32_t kLbInsertString = 0x0181;
inline constexpr std::uint32_t kLbDeleteString = 0x0182;
inline constexpr std::uint32_t kLbSelectString = 0x018C;
inline constexpr std::uint32_t kLbFindStringExact = 0x01A2;
inline constexpr std::uint32_t kCbDeleteString = 0x0144;
inline constexpr std::uint32_t kCbInsertString = 0x014A;
inline constexpr std::uint32_t kCbSelectString = 0x014D;
inline constexpr std::uint32_t kCbFindStringExact = 0x0158;
inline constexpr LResult kLbErr = -1;
inline constexpr std::uint32_t kBsTypeMask = 0x000F;
inline constexpr std::uint32_t kBsPushButton = 0x0000;
inline constexpr std::uint32_t kBsDefPushButton = 0x0001;
inline constexpr std::uint32_t kBsCheckBox = 0x0002;
inline constexpr std::uint32_t kBsAutoCheckBox = 0x0003;
inline constexpr std::uint32_t kBsRadioButton = 0x0004;
inline constexpr std::uint32_t kBs3State = 0x0005;
inline constexpr std::uint32_t kBsAuto3State = 0x0006;
inline constexpr std::uint32_t kBsGroupBox = 0x0007;
inline constexpr std::uint32_t kBsAutoRadioButton = 0x0009;
inline constexpr std::uint32_t kLbsNotify = 0x0001;
inline constexpr std::uint32_t kLbsSort = 0x0002;
inline constexpr std::uint32_t kCbsDropDownList = 0x0003;
inline constexpr std::uint32_t kCbsTypeMask = 0x0003;
inline constexpr std::uint32_t kLbGetItemData = 0x0199;
inline constexpr std::uint32_t kLbSetItemData = 0x019A;
inline constexpr std::uint32_t kCbGetItemData = 0x0150;
inline constexpr std::uint32_t kCbSetItemData = 0x0151;
inline constexpr std::uint32_t kCbsSort = 0x0100;
inline constexpr std::uint32_t kWsGroup = 0x00020000;
inline constexpr std::uint32_t kWsTabStop = 0x00010000;
inline constexpr std::uint32_t kWsPopup = 0x80000000;
inline constexpr std::uint32_t kWsCaption = 0x00C00000;
inline constexpr std::uint32_t kWsSysMenu = 0x00080000;
inline constexpr std::uint32_t kWsChild = 0x40000000;
inline constexpr std::uint32_t kWsExDlgModalFrame = 0x00000001;
inline constexpr std::uint32_t kWsExTopmost = 0x00000008;
inline constexpr std::uint32_t kWsExWindowEdge = 0x00000100;
inline constexpr std::uint32_t kWsExControlParent = 0x00010000;
inline constexpr std::uint32_t kMbTopmost = 0x00040000;
inline constexpr std::uint32_t kMbHelp = 0x00004000;
inline constexpr std::uint32_t kMbDefMask = 0x00000F00;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdTryAgain = 10;
inline constexpr int kIdContinue = 11;
inline constexpr int kMessageBoxTextId = 0xFFFF;
inline constexpr std::uint32_t kMfChecked = 0x0008;
inline constexpr std::uint32_t kMfDisabled = 0x0002;
inline constexpr std::uint32_t kMfRadioCheck = 0x0200;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyCreateLink = 0x0020;
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kDelete = 0x00010000;
inline constexpr std::uint32_t kWriteDac = 0x00040000;
inline constexpr std::uint32_t kWriteOwner = 0x00080000;
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kGenericAll = 0x10000000;
inline constexpr std::uint32_t kMaximumAllowed = 0x02000000;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::int32_t kErrorKeyDeleted = 1018;
inline constexpr std::uint32_t kWmNotify = 0x004E;
inline constexpr std::uint32_t kWmNull = 0x0000;
inline constexpr std::uint32_t kPsnSetActive = 0u - 200u;
inline constexpr std::uint32_t kPsnKillActive = 0u - 201u;
inline constexpr std::uint32_t kPsnApply = 0u - 202u;
inline constexpr std::uint32_t kPsnReset = 0u - 203u;
inline constexpr std::uint32_t kPsnHelp = 0u - 205u;
inline constexpr std::uint32_t kPsnQueryCancel = 0u - 209u;
inline constexpr LResult kPsnRetInvalid = 1;
inline constexpr LResult kPsnRetInvalidNoChangePage = 2;
inline constexpr std::uint32_t kPsmSetCurSel = 0x0400 + 101;
inline constexpr std::uint32_t kPsmChanged = 0x0400 + 104;
inline constexpr std::uint32_t kPsmUnchanged = 0x0400 + 109;
inline constexpr std::uint32_t kPsmPressButton = 0x0400 + 112;
inline constexpr std::uint32_t kPsmGetCurrentPageHwnd = 0x0400 + 118;
inline constexpr std::uint32_t kPsmHwndToIndex = 0x0400 + 129;
inline constexpr std::uint32_t kPsmIndexToHwnd = 0x0400 + 130;
inline constexpr WParam kPsBtnOk = 3;
inline constexpr WParam kPsBtnApplyNow = 4;
inline constexpr WParam kPsBtnCancel = 5;
inline constexpr WParam kPsBtnHelp = 6;
inline constexpr int kIdTabControl = 0x3020;
inline constexpr int kIdApplyNow = 0x3021;
inline constexpr std::int32_t kErrorBadPathname = 161;
// Static controls showing an image.
inline constexpr std::uint32_t kSsTypeMask = 0x001F;
inline constexpr std::uint32_t kSsBitmap = 0x000E;
inline constexpr std::uint32_t kStmGetImage = 0x0173;
inline constexpr WParam kImageBitmap = 0;
} // namespace win

// Case-insensitive comparisons for registry, file, class and message names, as Windows
// folds them for the characters our data uses (ASCII, Latin-1, Greek and Cyrillic).
String foldCase(const String& s);
std::string narrow(const String& s);
// The order of sorted list and combo boxes (lstrcmpiW of the user's locale): < 0, 0, > 0.
int compareForSort(const String& a, const String& b);

enum class ThreadKind { Main, Background, External };
// HungSend: waiting for a window of another program that does not answer.
enum class BlockKind { None, Sleep, MessageWait, ObjectWait, SendWait, DeviceRead, HungSend };
enum class WakeReason { None, Woken, Timeout, Ending };

struct ThreadRec;
struct ModalFrame;

struct PostedMessage {
    Hwnd window = 0;
    std::uint32_t msg = 0;
    WParam wParam = 0;
    LParam lParam = 0;
};

// A message sent from another thread (the sender waits for the result), or a task the
// scripted user runs on a modal's own thread.
struct SentCall {
    Hwnd window = 0;
    std::uint32_t msg = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    std::function<void()> task;
    std::shared_ptr<void> payload; // keeps lParam's data alive when nobody waits
    ThreadRec* sender = nullptr;   // null: asynchronous
    bool done = false;
    LResult result = 0;
};

struct ThreadRec {
    std::uint32_t id = 0;
    ThreadKind kind = ThreadKind::External;
    std::string label;
    Handle handle = 0; // the handle startThread returned (0 for the others)
    std::thread thread;
    std::thread::id systemId;
    bool ended = false;

    bool blocked = false;
    BlockKind blockKind = BlockKind::None;
    std::optional<std::uint64_t> deadline;
    bool wantsToDrive = false; // a sleeper that moves the clock itself once it may
    bool woken = false;
    WakeReason wakeReason = WakeReason::None;

    std::deque<PostedMessage> queue;
    std::deque<std::shared_ptr<SentCall>> sends;
    // Where the message this thread's window procedure is handling came from (innermost).
    plat::MessageSource messageSource = plat::MessageSource::ThisThread;
    // A thread the program started has entered a COM apartment (CoreAudio::enterApartment).
    bool inApartment = false;
};

enum class WindowKind { Foreign, Dialog, MessageBox, Control, Sheet };

struct SheetPage {
    Module module = 0;
    int templateId = 0;
    plat::DialogTarget* target = nullptr;
    res::DialogTemplate layout;
    Hwnd hwnd = 0; // created when first shown, as Windows creates pages
};

struct SheetState {
    std::vector<SheetPage> pages;
    int current = -1;
    Hwnd tab = 0;
    Hwnd apply = 0;
};

struct Window {
    Hwnd hwnd = 0;
    WindowKind kind = WindowKind::Foreign;
    std::uint64_t order = 0; // creation order; later windows are on top
    String className;
    String title;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    bool visible = false;
    bool enabled = true;
    Hwnd parent = 0;             // child controls
    Hwnd owner = 0;              // owned top-level windows
    ThreadRec* thread = nullptr; // null for other programs' windows
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
    int controlId = 0;
    std::uint32_t helpId = 0; // the context help id of the template's item
    std::vector<Hwnd> children;
    plat::DialogTarget* target = nullptr;
    int templateId = 0;
    ModalFrame* modal = nullptr;
    SheetState* sheet = nullptr; // property sheets
    plat::Rect placement;

    // controls
    int checked = 0;
    std::vector<String> items;
    std::vector<LParam> itemData; // one per item, moved with it
    int selection = -1;
    std::uint32_t textLimit = 0;

    // dialogs: the default button set by DM_SETDEFID (0: the BS_DEFPUSHBUTTON button)
    int defId = 0;

    // static controls: the bitmap an SS_BITMAP control loaded from its template, which it
    // destroys with itself
    plat::HBitmap image = 0;
    int imageId = 0;

    // message boxes
    String boxText;
    std::uint32_t boxStyle = 0;

    // other programs' windows
    std::vector<ReceivedMessage> received;
    std::function<LResult(const ReceivedMessage&)> foreignHandler;
    // Set while its thread does not answer messages: since when (virtual time), and what was
    // posted to it meanwhile (and whether the program posted it).
    std::optional<std::uint64_t> hungSince;
    std::deque<std::pair<PostedMessage, bool>> heldPosts;

    // the program's windows: messages let through from lower integrity levels
    std::set<std::uint32_t> allowedFromLower;
};

struct ModalFrame {
    std::uint64_t serial = 0;
    ModalKind kind = ModalKind::Dialog;
    Hwnd window = 0;
    ThreadRec* thread = nullptr;
    bool userVisible = false;
    // Shown, and the user has not acted yet: the user acts once its queue is first empty,
    // as input arrives after whatever the modal posted to itself while it opened.
    bool awaitingUser = false;
    bool ended = false;
    std::intptr_t result = 0;
    ModalView opened; // as it looked when it opened
    ModalView last;   // as it looked when it was last seen
    HMenu menu = 0;   // popup menus
    Hwnd menuOwner = 0;
    std::uint32_t chosenCommand = 0;
    String chosenText;
};

struct MutexObject {
    String name; // empty: unnamed
    ThreadRec* owner = nullptr;
    std::uint32_t recursion = 0;
    bool abandoned = false;
    int handles = 0;
    bool heldElsewhere = false; // another process holds a handle
};

enum class ObjectKind { Mutex, Thread, Process, Token, DeviceNotification };

struct KernelObject {
    ObjectKind kind = ObjectKind::Mutex;
    std::shared_ptr<MutexObject> mutex;
    ThreadRec* thread = nullptr;
    std::uint32_t processId = 0;
    Hwnd window = 0;      // device notifications
    plat::Guid classGuid; // device notifications
    std::uint32_t owner = 0; // the process holding the handle
};

struct Timer {
    Hwnd window = 0;
    std::uintptr_t id = 0;
    std::uint32_t interval = 0;
    std::uint64_t due = 0;
    std::uint64_t serial = 0;
    bool pending = false; // a WM_TIMER waits in the queue; Windows never queues two
};

struct MenuItem {
    std::uint32_t flags = 0;
    std::uintptr_t id = 0;
    String text;
    HMenu sub = 0;
    bool checked = false;
    bool isDefault = false;
    bool radio = false; // MFT_RADIOCHECK: its check mark is a bullet
};

struct Menu {
    std::vector<MenuItem> items;
    std::uint32_t owner = 0; // the process that made it
    int resourceId = 0;      // a loaded menu's (its submenus' too); 0: CreatePopupMenu
};

struct RegValue {
    String name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
};

struct RegKey {
    String name;
    std::map<String, std::unique_ptr<RegKey>> subkeys; // by folded name
    std::map<String, RegValue> values;                 // by folded name
};

struct OpenKey {
    HKey root = 0;
    std::vector<String> path; // folded components below the root
    bool canRead = true;
    bool canWrite = false;
    std::uint32_t owner = 0; // the process holding the handle
};

struct SimFile {
    String path; // as first written
    std::string bytes;
    bool unflushed = false; // written since the last flush: a crash could lose it
};

struct OpenFile {
    String key; // folded path
    plat::FileMode mode = plat::FileMode::Read;
    std::size_t position = 0;
    bool written = false;
    bool readFault = false; // FileFault::Read applies to this open
    std::uint32_t owner = 0; // the process holding the handle
};

struct TrayIcon {
    Hwnd window = 0;
    std::uint32_t id = 0;
    std::uint32_t callbackMessage = 0;
    plat::HIcon icon = 0;
    String tip;
};

struct SimPc::Impl {
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

    // ---------------------------------------------------------------- user interface (sim_ui.cpp)
    Hwnd createDialogWindow(const res::DialogTemplate& t, int templateId, Hwnd parent, bool child,
                            ThreadRec* self, plat::DialogTarget* target, Hwnd& focus,
                            Module module = 0); // lock held; `module` holds the template
    std::intptr_t dialogBox(Module module, int templateId, Hwnd parent, plat::DialogTarget* target);
    bool endDialog(Hwnd dialog, std::intptr_t result);
    int messageBox(Hwnd owner, const String& text, const String& caption, std::uint32_t style,
                   plat::MessageBoxHook* hook);
    bool trackPopupMenu(HMenu menu, Hwnd owner);
    // The controls the user sees in a modal: its own, and for a sheet those of the page shown.
    std::vector<Hwnd> userControlsOf(const Window& w) const; // lock held

    // ---------------------------------------------------------------- property sheets
    // (sim_sheet.cpp)
    std::intptr_t propertySheet(const plat::PropertySheetSpec& request);
    int activePageIndex(Hwnd sheet);
    LResult sheetProc(Hwnd sheet, std::uint32_t msg, WParam wParam, LParam lParam);
    bool selectPage(Hwnd sheet, int index, bool mayRefuse);
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
