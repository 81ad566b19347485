// The operating-system layer: every call into the OS that the plug-in makes goes through the
// functions declared here. One implementation per OS (win32/, linux/) is chosen by the build.
// All strings are UTF-16; paths are the host's paths, in the OS's own form.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/small_buffer.h"

namespace velkaron::platform {

// --- The library itself -------------------------------------------------------------------

// Full path of the library file this code is linked into, whatever its length; empty when the
// OS cannot tell.
std::u16string OwnModulePath();

// --- Files --------------------------------------------------------------------------------

// True when a regular file exists at path, links followed: not a folder, and on Linux no FIFO,
// device or socket either, which no configuration can be.
bool FileExists(const std::u16string& path);

// What CopyFileNoOverwrite did.
enum class CopyOutcome : unsigned char {
    Copied,     // target holds the whole copy
    NameTaken,  // something already had target's name: a file, a folder, a dangling link, a FIFO
    Failed,     // anything else: a folder that takes no file, no room, a source that cannot be read
};

// Copies source to target whole or not at all. The copy is written under a temporary name in
// target's folder, then given target's name without replacing anything (Linux: renameat2 with
// RENAME_NOREPLACE, or link where a file system lacks it; Windows: MoveFileExW without
// MOVEFILE_REPLACE_EXISTING), so a reader that finds target finds all of it, and of two copies
// made at once one wins. No temporary file is left behind. The copy is a file its owner may edit,
// whatever the source's read-only attribute (Windows) or mode (Linux).
CopyOutcome CopyFileNoOverwrite(const std::u16string& source, const std::u16string& target);

// Makes the folder at path and the missing folders between it and base, which must be a folder
// already and begin path: nothing is made at or above base (on Linux with mode 0700, as a user's
// configuration folders are made). True when path is a folder afterwards.
bool MakeFoldersBelow(const std::u16string& base, const std::u16string& path);

// --- The user's own configuration ---------------------------------------------------------

// The user's own folder for the plug-in's configuration, where a user keeps a configuration of
// their own when the library's folder cannot take one: Windows "%APPDATA%\Velkaron", Linux
// "$XDG_CONFIG_HOME/velkaron", or "$HOME/.config/velkaron" when XDG_CONFIG_HOME is unset, empty
// or not absolute. Empty when the environment names no absolute folder. base is the folder the
// environment names (APPDATA, XDG_CONFIG_HOME or HOME): the one below which folders may be made.
std::u16string UserConfigurationFolder(std::u16string& base);

// A file of the same name as the one at path (everything after its last separator), in folder.
std::u16string SameNameIn(const std::u16string& folder, const std::u16string& path);

// Reads the whole of the regular file at path into bytes when it holds at most maxBytes; false
// when it cannot be opened or read, is larger, or is no regular file (a FIFO is never waited on).
bool ReadWholeFile(const std::u16string& path, std::size_t maxBytes, std::string& bytes);

// --- Private-profile (INI) files ----------------------------------------------------------

// Whether the system has a reader of INI files that opens path: on Windows, for paths shorter
// than MAX_PATH; on Linux, never. Where it has none, the caller parses the file itself.
bool SystemProfileReaderOpens(const std::u16string& path);

// The system reader's value of key in section, or fallback (less its trailing spaces) when there
// is none, cut to bufferUnits - 1 UTF-16 units, as a reader with a buffer of that size delivers it.
std::u16string ReadSystemProfileString(const std::u16string& path, const std::u16string& section,
                                       const std::u16string& key, const std::u16string& fallback,
                                       std::size_t bufferUnits);

// --- User interface -----------------------------------------------------------------------

// A modal error message; returns when the user has dismissed it (or at once where no one can).
void ShowErrorBox(const std::u16string& text, const std::u16string& caption);

// A note on the configuration, told at load where it costs the user nothing: Linux, a line on
// standard error; Windows, nothing (a box would stop the host for each one).
void ShowLoadNote(const std::u16string& text);

// --- Locking ------------------------------------------------------------------------------

// Storage for the OS's own lock object, so callers can own one without seeing the OS's types. A
// thread that holds the lock never enters it again.
struct CriticalSection {
    alignas(16) unsigned char storage[64];
};
void InitCriticalSection(CriticalSection& section) noexcept;
void EnterCriticalSection(CriticalSection& section) noexcept;
void LeaveCriticalSection(CriticalSection& section) noexcept;
void DeleteCriticalSection(CriticalSection& section) noexcept;

// --- Code pages ---------------------------------------------------------------------------
// Each converts into the caller's buffer and returns how many units or bytes it wrote. A decoder
// never makes more UTF-16 units than it is given bytes: out needs room for bytes.size() units.
// An encoder makes at most three bytes a unit: out needs room for 3 * text.size() bytes.

// text in the system ANSI code page; characters it cannot hold become its default character.
std::size_t ToAnsi(std::u16string_view text, char* out);
// bytes in the system ANSI code page.
std::size_t FromAnsi(std::string_view bytes, char16_t* out);
// Whether each character of the system ANSI code page is one byte (on Linux, Windows-1252, it
// is); in a double-byte code page a byte below 0x80 may be the second byte of a character.
bool AnsiIsSingleByte();
// text as UTF-8; a lone surrogate becomes U+FFFD.
std::size_t ToUtf8(std::u16string_view text, char* out);
// bytes as UTF-8; each malformed sequence becomes U+FFFD.
std::size_t FromUtf8(std::string_view bytes, char16_t* out);

// --- Streams ------------------------------------------------------------------------------
// A stream is named by the host's file name and the stream's own name, kept apart until the OS
// call: Windows opens "file:stream", Linux reads an extended attribute of file.

// Where a Linux host finds the streams: ntfs-3g shows stream S of a file on an NTFS volume as the
// attribute "user.S"; Samba's stream store keeps what Windows clients write in the attribute
// "user.DosStream.S:$DATA", the bytes followed by one zero byte, and finds a stream by its name
// in any case. Windows has its own streams and no choice. On a volume of the kernel's own NTFS
// drivers (ntfs3, ntfs) "user.S" is an NTFS extended attribute and no stream, so there ntfs-3g's
// store refuses every change and lists nothing, and says so once a process (see ShowLoadNote);
// a read is left as it is, and Samba's store, whose streams are such attributes, works as ever.
enum class StreamStore : unsigned char { Ntfs3g, Samba };

// (section, key, fallback) -> the configuration's value, as the private-profile reader gives it.
using SettingLookup =
    std::function<std::u16string(const std::u16string&, const std::u16string&, const std::u16string&)>;

// The store this OS's own section of the configuration chooses. Windows reads nothing and keeps
// its streams. Linux reads key "StreamStore" of section "Linux": "ntfs-3g" (the default) or
// "samba", in any case. Another value keeps the default and sets problem to a line saying so,
// which names the configuration by file.
StreamStore ReadStreamStore(const SettingLookup& lookup, const std::u16string& file, std::u16string& problem);

// A stream's name in the form the OS calls take it, made once for each configured field, so that
// no call converts it again: Windows keeps the name as it is (wide), Linux the attribute name in
// UTF-8 (narrow) and the store, which decides the layout of its value. The other member stays
// empty. In every build and store, a trailing ":$DATA" (any case) names the same stream.
struct StreamName {
    std::u16string wide;
    std::string narrow;
    StreamStore store = StreamStore::Ntfs3g;
};
StreamName MakeStreamName(std::u16string_view stream, StreamStore store);

// Bytes read from a stream: up to 4 KiB on the stack, more on the heap.
using StreamBytes = SmallBuffer<char, 4096>;

// Reads at most maxBytes from the start of the stream, opened for reading with no sharing. False
// when it cannot be opened or read (absent, locked, refused); bytes is then empty.
bool ReadStream(std::u16string_view file, const StreamName& stream, std::size_t maxBytes, StreamBytes& bytes);
// The same for the host's zero-terminated file name as it comes, measured and converted at once.
bool ReadStream(const char16_t* file, const StreamName& stream, std::size_t maxBytes, StreamBytes& bytes);

// Creates or replaces the stream with exactly bytes (opened with no sharing on Windows). False
// when that fails, which leaves the stream as it was: the same bytes, or no stream.
bool WriteStream(std::u16string_view file, const StreamName& stream, std::string_view bytes);

// One named stream of a file, as a listing finds it.
struct StreamEntry {
    std::u16string name;      // without the ":" before it and the ":$DATA" after it
    unsigned long long size;  // in bytes, as its field reads it
    bool atLeast = false;     // the stream holds more than the system tells: size is a lower bound
};

// Every named stream of file (or folder), not the file's own data, in the order the OS gives
// them. Windows: FindFirstStreamW and FindNextStreamW, looked up when the library loads (false
// where they are missing). Linux: the attributes listxattr gives, in ntfs-3g's store every
// "user.S", measured by a size query, in Samba's every "user.DosStream.S:$DATA", read (its size
// less one when it ends in a zero byte); no other namespace. A value of 64 KiB or more is read
// too: FUSE answers a size query with at most 64 KiB, and getxattr returns no more, so a larger
// one is 64 KiB at least. False when the OS cannot list them; entries is then empty.
bool ListStreams(std::u16string_view file, StreamStore store, std::vector<StreamEntry>& entries);

// Removes the stream; false when it cannot, in particular when it does not exist.
bool DeleteStream(std::u16string_view file, const StreamName& stream);

// --- Last-write time ----------------------------------------------------------------------

// Whether file names a directory, links followed. Decides how the time steps open the target.
bool IsDirectory(std::u16string_view file);

// A file's last-write time exactly as the OS keeps it, for putting it back unchanged.
struct FileTime {
    long long value = 0;        // Windows: 100-ns units since 1601; Linux: seconds since 1970
    long long nanoseconds = 0;  // Linux: within the second
};

// Reads the last-write time of file (or directory). False when it cannot.
bool CaptureWriteTime(std::u16string_view file, bool isDirectory, FileTime& time);
// Sets the last-write time of file back to time, leaving its other times alone. Best effort.
bool RestoreWriteTime(std::u16string_view file, bool isDirectory, const FileTime& time);

}  // namespace velkaron::platform

// --- Loader notifications -----------------------------------------------------------------

namespace velkaron {
// Provided by the library, called by the OS layer's loader hook: once when the library is
// loaded into a process, once when it leaves it. processEnding tells a detach because the
// process ends (host threads may still be inside an export) from an unload while the process
// goes on. Neither may throw.
void OnProcessAttach() noexcept;
void OnProcessDetach(bool processEnding) noexcept;
}  // namespace velkaron
