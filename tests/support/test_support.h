// What the tests of the real library share: a scratch folder, files, and a library copied into a
// folder with the configuration a case needs, loaded the way the host loads it.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tools/hostlib/plugin_loader.h"

namespace testing_support {

namespace fs = std::filesystem;

// The library this build produced, and the sample configuration in the source tree.
fs::path BuiltLibrary();
fs::path SampleConfiguration();

// A fresh folder under the system's temporary folder (or root), removed with everything in it at
// the end.
class TempDir {
public:
    TempDir();
    explicit TempDir(const fs::path& root);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& bytes);
std::string ReadFile(const fs::path& path);

// The library copied into folder under its own file name; returns the copy's path.
fs::path InstallLibrary(const fs::path& folder);

// Velkaron.ini beside library.
fs::path ConfigurationOf(const fs::path& library);

// A library installed in a folder of its own with the given configuration ("" for none).
struct Installed {
    TempDir dir;
    fs::path library;
    explicit Installed(const std::string& ini);
};

// A fresh folder that the test writes at path() and the library may see at seen(): the same
// folder, or with readOnly its twin on a read-only mount, where every write is refused, root's
// too (VELKARON_TEST_READONLY, made by readonly_mount.sh).
class Scratch {
public:
    explicit Scratch(bool readOnly = false);
    const fs::path& path() const { return dir_.path(); }
    const fs::path& seen() const { return seen_; }
    // Whether read-only scratch folders can be made; when not, why.
    static bool ReadOnlyAvailable(std::string& why);

private:
    TempDir dir_;
    fs::path seen_;
};

// Sets the environment variable name for this process (nullptr unsets it).
void SetEnv(const char* name, const char* utf8Value);

// Every test starts with the user's own folder for configurations, named by the environment
// variable kUserFolderVariable (APPDATA on Windows, XDG_CONFIG_HOME on Linux), pointed at an empty
// scratch folder of its own, so that neither the developer's configuration nor a copy an earlier
// test left is seen. SetUserFolder points it elsewhere; UserConfigurationIn is where the library
// keeps the user's Velkaron.ini in folder.
extern const char kUserFolderVariable[];
void SetUserFolder(const fs::path& folder);
fs::path UserConfigurationIn(const fs::path& folder);

// Loads library or fails the current test.
host::LoadedPlugin LoadOrFail(const fs::path& library);

// The names the host would list, in UTF-8.
std::vector<std::string> FieldNames(const host::PluginApi& api);

}  // namespace testing_support

namespace testing_support {

// Streams set up and inspected straight through the OS, never through the plug-in: on Windows
// the stream "file:name" (so the tests hold on real NTFS), on Linux the attribute "user.name".
void PutStream(const fs::path& file, const std::string& stream, const std::string& bytes);
// False when the stream does not exist.
bool GetStream(const fs::path& file, const std::string& stream, std::string& bytes);
// Removes the stream if it exists.
void RemoveStream(const fs::path& file, const std::string& stream);

// A file's last-write time in seconds since 1970 and nanoseconds (100-ns steps on Windows), set
// and read straight through the OS.
struct Time {
    long long seconds;
    long nanoseconds;
    bool operator==(const Time& o) const { return seconds == o.seconds && nanoseconds == o.nanoseconds; }
    // How a failed comparison shows it.
    friend std::ostream& operator<<(std::ostream& out, const Time& t) {
        return out << t.seconds << " s + " << t.nanoseconds << " ns";
    }
};
void SetWriteTime(const fs::path& path, Time time);
Time GetWriteTime(const fs::path& path);

// How many handles (Windows) or file descriptors (Linux) the process holds open.
long OpenHandleCount();

// What ContentGetValueW answered, and the string it left in the buffer.
struct Value {
    int code;
    std::u16string text;
};
// Asks the way the host does: flags as given, a buffer of bufferSize bytes.
Value GetValue(const host::PluginApi& api, const fs::path& file, int field, int bufferSize = 4096,
               int flags = 0);

// A UTF-16 string as UTF-8, for assertions and messages.
std::string U8(const std::u16string& text);

}  // namespace testing_support

namespace testing_support {

// --- The process a test runs in, and the ones it starts ----------------------------------

// Figures of this process: resident memory in KiB and running threads.
long ResidentKiB();
long ThreadCount();

// Whether the library at path is loaded into this process.
bool IsLoaded(const fs::path& library);

// Ends this process at once with status, whatever libraries it holds (Windows: ExitProcess;
// Linux: exit, which runs the exit handlers and the loaded libraries' finalisers).
[[noreturn]] void EndProcess(int status);

// This program's own file, and its process's id.
fs::path ThisProgram();
long ProcessId();

// Runs program with args and waits for it. Returns its exit status, or 128 + the signal that
// ended it (Linux), or -1 when it could not be started. On Linux the words of the environment
// variable VELKARON_CHILD_WRAPPER (say, "valgrind --error-exitcode=97") go before the program.
int RunProgram(const fs::path& program, const std::vector<std::string>& args);
// Starts program once for each list of arguments, all before waiting for any, and returns their
// statuses in the same order.
std::vector<int> RunPrograms(const fs::path& program, const std::vector<std::vector<std::string>>& argLists);

}  // namespace testing_support
