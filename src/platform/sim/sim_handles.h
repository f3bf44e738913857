// The accounting of the objects the simulated PC hands out (sim_pc.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

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

} // namespace sim
