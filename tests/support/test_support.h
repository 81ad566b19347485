// What the tests of the real library share: a scratch folder, files, and a library copied into a
// folder with the configuration a case needs, loaded the way the host loads it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/hostlib/plugin_loader.h"

namespace testing_support {

namespace fs = std::filesystem;

// The library this build produced, and the sample configuration in the source tree.
fs::path BuiltLibrary();
fs::path SampleConfiguration();

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
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

// Loads library or fails the current test.
host::LoadedPlugin LoadOrFail(const fs::path& library);

// The names the host would list, in UTF-8.
std::vector<std::string> FieldNames(const host::PluginApi& api);

}  // namespace testing_support
