// Loads a content plug-in the way the file manager does (LoadLibraryW + GetProcAddress on
// Windows, dlopen + dlsym elsewhere) and hands out its entry points. Shared by the command-line
// host and the tests that drive the real libraries.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32) && !defined(_WIN64)
#define HOST_CALL __stdcall
#else
#define HOST_CALL
#endif

namespace host {

using GetSupportedFieldFn = std::int32_t(HOST_CALL*)(std::int32_t, char*, char*, std::int32_t);
using GetSupportedFieldFlagsFn = std::int32_t(HOST_CALL*)(std::int32_t);
using GetValueFn = std::int32_t(HOST_CALL*)(char*, std::int32_t, std::int32_t, void*, std::int32_t,
                                            std::int32_t);
using GetValueWFn = std::int32_t(HOST_CALL*)(char16_t*, std::int32_t, std::int32_t, void*,
                                             std::int32_t, std::int32_t);
using SetValueFn = std::int32_t(HOST_CALL*)(char*, std::int32_t, std::int32_t, std::int32_t, void*,
                                            std::int32_t);
using SetValueWFn = std::int32_t(HOST_CALL*)(char16_t*, std::int32_t, std::int32_t, std::int32_t,
                                             void*, std::int32_t);
using GetDetectStringFn = void(HOST_CALL*)(char*, std::int32_t);

// The entry points; an export the library lacks stays null.
struct PluginApi {
    GetSupportedFieldFn ContentGetSupportedField = nullptr;
    GetSupportedFieldFlagsFn ContentGetSupportedFieldFlags = nullptr;
    GetValueFn ContentGetValue = nullptr;
    GetValueWFn ContentGetValueW = nullptr;
    SetValueFn ContentSetValue = nullptr;
    SetValueWFn ContentSetValueW = nullptr;
    GetDetectStringFn ContentGetDetectString = nullptr;
};

// One loaded library; unloaded when this goes away.
class LoadedPlugin {
public:
    LoadedPlugin() = default;
    LoadedPlugin(LoadedPlugin&& other) noexcept;
    LoadedPlugin& operator=(LoadedPlugin&& other) noexcept;
    ~LoadedPlugin();

    // Loads path. On failure returns false with a message in error; the plug-in is then unloaded.
    bool Load(const std::filesystem::path& path, std::string& error);
    void Unload() noexcept;
    bool loaded() const noexcept { return module_ != nullptr; }
    const PluginApi& api() const noexcept { return api_; }

private:
    void* module_ = nullptr;
    PluginApi api_;
};

// A field name as the plug-in delivers it (system ANSI code page) in UTF-8, for printing.
std::string AnsiToUtf8(const std::string& ansi);

// The field list the host builds: ContentGetSupportedField with 0, 1, 2, ... until it answers 0.
struct FieldInfo {
    int index;
    std::string name;  // UTF-8
    bool editable;
};
std::vector<FieldInfo> ListFields(const PluginApi& api);

}  // namespace host
