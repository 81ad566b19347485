#include <dlfcn.h>

#include "platform/linux/codepage.h"
#include "tools/hostlib/plugin_loader.h"

namespace host {
namespace {

void* OpenModule(const std::filesystem::path& path) {
    // A bare name would be searched on the library path; the host always names a file.
    const std::filesystem::path name = path.has_parent_path() ? path : "./" / path;
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}
void* FindSymbol(void* module, const char* name) { return dlsym(module, name); }
void CloseModule(void* module) { dlclose(module); }
std::string ModuleError() {
    const char* message = dlerror();
    return message != nullptr ? message : "unknown error";
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi) {
    return velkaron::platform::EncodeUtf8(velkaron::platform::DecodeWindows1252(ansi));
}

}  // namespace host

#include "tools/hostlib/plugin_loader_common.inc"
