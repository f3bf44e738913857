// The records the world of the simulated PC keeps (sim_world.h): threads and their queues,
// windows, modal frames, kernel objects, timers, menus, the registry, files and tray icons.
// Every one of them is guarded by the world lock. Tests do not include this; they use sim_pc.h.
#pragma once

#include "sim_pc.h"
#include "sim_resfile.h"
#include "sim_win.h"

#include <deque>
#include <functional>
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

} // namespace sim
