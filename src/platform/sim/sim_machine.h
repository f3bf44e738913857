// The simulated PC without its devices and media players (sim_pc.h).
#pragma once

#include "ports.h"
#include "sim_handles.h"
#include "sim_screen.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

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

struct SentCall; // sim_world.h

// The machine itself, without its devices and media players, which SimPc adds: its set-up,
// other programs, the program's process, virtual time, windows and the scripted user, the
// journal and the accounting.
class SimMachine {
public:
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

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

    // ------------------------------------------------------------ journal
    // What the program did to the world, in order, as readable lines: registry keys created
    // and values written, windows created and destroyed, messages posted to other programs'
    // windows, modals opened and how they were answered, files written, devices plugged in
    // and out, the commands the transmitter received and the reports it sent. The simulator
    // prints it as the transcript; takeJournal() returns the lines since the last call.
    std::vector<std::string> takeJournal();
    std::vector<std::string> journal() const; // every line so far

    // ------------------------------------------------------------ accounting
    // Every object the simulated PC has handed out and that is still live (see HandleKind).
    HandleSnapshot handles() const;

    struct Impl;

protected:
    SimMachine();
    ~SimMachine();

    std::unique_ptr<Impl> impl_;

private:
    std::shared_ptr<SentCall> queueOnTopModal(const std::function<void(ModalContext&)>& act,
                                              const char* who);
};

} // namespace sim
