#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/linux/codepage.h"

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

}  // namespace

// VELKARON_TEST_LIBRARY (a path of the build machine) tests another copy, such as the one
// unpacked from a release archive.
fs::path BuiltLibrary() {
    const char* other = std::getenv("VELKARON_TEST_LIBRARY");
    return FromBuildPath(other != nullptr && *other != '\0' ? other : VELKARON_LIBRARY_FILE);
}
fs::path SampleConfiguration() { return FromBuildPath(VELKARON_SAMPLE_FILE); }

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    // VELKARON_TEST_TMPDIR (a path of the build machine) puts the scratch folders on a volume of
    // the caller's choosing, such as an NTFS image.
    const char* base = std::getenv("VELKARON_TEST_TMPDIR");
    const fs::path root = base != nullptr && *base != '\0' ? FromBuildPath(base) : fs::temp_directory_path();
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        path_ = root /
                ("velkaron-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        if (fs::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
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
