// Ports of the platform seam (see ports.h): the registry, files, the user's folders,
// threads and the clock, processes and the shell.
#pragma once

#include "constants.h"
#include "types.h"

#include <cstddef>
#include <functional>
#include <string>

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

} // namespace plat
