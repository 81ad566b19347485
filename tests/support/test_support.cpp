#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/linux/codepage.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace testing_support {
namespace {

// Test programs of the Windows builds run under Wine, which sees the build tree under drive Z:.
fs::path FromBuildPath(const std::string& path) {
#if defined(_WIN32)
    if (!path.empty() && path[0] == '/') {
        std::string windows = "Z:" + path;
        for (char& c : windows) {
            if (c == '/') c = '\\';
        }
        return fs::path(windows);
    }
#endif
    return fs::path(path);
}

// The path an environment variable names (a path of the build machine), or empty.
fs::path PathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? FromBuildPath(value) : fs::path();
}

// VELKARON_TEST_READONLY holds w, a folder, and r, a read-only bind mount of it.
fs::path ReadOnlyRoot() { return PathFromEnvironment("VELKARON_TEST_READONLY"); }

}  // namespace

// VELKARON_TEST_LIBRARY (a path of the build machine) tests another copy, such as the one
// unpacked from a release archive.
fs::path BuiltLibrary() {
    const fs::path other = PathFromEnvironment("VELKARON_TEST_LIBRARY");
    return other.empty() ? FromBuildPath(VELKARON_LIBRARY_FILE) : other;
}
fs::path SampleConfiguration() { return FromBuildPath(VELKARON_SAMPLE_FILE); }

// VELKARON_TEST_TMPDIR puts the scratch folders on a volume of the caller's choosing, such as an
// NTFS image.
TempDir::TempDir() : TempDir(PathFromEnvironment("VELKARON_TEST_TMPDIR")) {}

TempDir::TempDir(const fs::path& root) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        path_ = (root.empty() ? fs::temp_directory_path() : root) /
                ("velkaron-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        if (fs::create_directory(path_)) break;
    }
}

#if defined(_WIN32)
// Removes path and everything below it through the long form ("\\?\"), which std::filesystem
// does not take, so that what a test made past 260 characters goes too.
static void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName, child = path + L"\\" + name;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}
#endif

TempDir::~TempDir() {
#if defined(_WIN32)
    if (path_.native().size() > 2 && path_.native()[1] == L':') RemoveTree(L"\\\\?\\" + path_.native());
#endif
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) ADD_FAILURE() << "cannot write " << path.u8string();
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool Scratch::ReadOnlyAvailable(std::string& why) {
    const fs::path root = ReadOnlyRoot();
    std::error_code error;
    if (root.empty()) {
        why = "VELKARON_TEST_READONLY names no folder with a read-only mount (readonly_mount.sh)";
    } else if (!fs::is_directory(root / "r", error) || !fs::is_directory(root / "w", error)) {
        why = root.u8string() + " holds no folders w and r";
    } else if (std::ofstream(root / "r" / "probe").is_open()) {
        fs::remove(root / "r" / "probe", error);
        why = (root / "r").u8string() + " takes writes: it is not a read-only mount";
    } else {
        return true;
    }
    return false;
}

Scratch::Scratch(bool readOnly)
    : dir_(readOnly ? ReadOnlyRoot() / "w" : PathFromEnvironment("VELKARON_TEST_TMPDIR")),
      seen_(readOnly ? ReadOnlyRoot() / "r" / dir_.path().filename() : dir_.path()) {}

void SetEnv(const char* name, const char* utf8Value) {
#if defined(_WIN32)
    const std::wstring wide = fs::u8path(name).wstring();
    SetEnvironmentVariableW(wide.c_str(), utf8Value != nullptr ? fs::u8path(utf8Value).wstring().c_str() : nullptr);
#else
    if (utf8Value != nullptr) {
        setenv(name, utf8Value, 1);
    } else {
        unsetenv(name);
    }
#endif
}

#if defined(_WIN32)
const char kUserFolderVariable[] = "APPDATA";
const char kPluginFolder[] = "Velkaron";
#else
const char kUserFolderVariable[] = "XDG_CONFIG_HOME";
const char kPluginFolder[] = "velkaron";
#endif

void SetUserFolder(const fs::path& folder) { SetEnv(kUserFolderVariable, folder.u8string().c_str()); }

fs::path UserConfigurationIn(const fs::path& folder) {
    return folder / kPluginFolder / ConfigurationOf(BuiltLibrary()).filename();
}

namespace {
// Gives each test a user's folder of its own (see SetUserFolder), removed when the test ends.
class UserFolderPerTest : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override {
        folder_ = std::make_unique<TempDir>();
        SetUserFolder(folder_->path());
    }
    void OnTestEnd(const testing::TestInfo&) override { folder_.reset(); }
    std::unique_ptr<TempDir> folder_;
};
const bool kUserFolderPerTest = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new UserFolderPerTest);
    return true;
}();
}  // namespace

fs::path InstallLibrary(const fs::path& folder) {
    const fs::path target = folder / BuiltLibrary().filename();
    fs::copy_file(BuiltLibrary(), target, fs::copy_options::overwrite_existing);
    return target;
}

fs::path ConfigurationOf(const fs::path& library) {
    fs::path ini = library;
    return ini.replace_extension(".ini");
}

Installed::Installed(const std::string& ini) : library(InstallLibrary(dir.path())) {
    if (!ini.empty()) WriteFile(ConfigurationOf(library), ini);
}

host::LoadedPlugin LoadOrFail(const fs::path& library) {
    host::LoadedPlugin plugin;
    std::string error;
    if (!plugin.Load(library, error)) ADD_FAILURE() << error;
    return plugin;
}

std::vector<std::string> FieldNames(const host::PluginApi& api) {
    std::vector<std::string> names;
    if (api.ContentGetSupportedField == nullptr) return names;
    for (const host::FieldInfo& field : host::ListFields(api)) names.push_back(field.name);
    return names;
}

}  // namespace testing_support

namespace testing_support {

Value GetValue(const host::PluginApi& api, const fs::path& file, int field, int bufferSize, int flags) {
    std::vector<char16_t> buffer(static_cast<std::size_t>(std::max(bufferSize, 0)) / 2 + 2, u'#');
    std::u16string name = file.u16string();
    const int code = api.ContentGetValueW(name.data(), field, 0, buffer.data(), bufferSize, flags);
    Value value{code, {}};
    if (code == 11) {
        value.text.assign(buffer.data());
    }
    return value;
}

std::string U8(const std::u16string& text) { return velkaron::platform::EncodeUtf8(text); }

}  // namespace testing_support
