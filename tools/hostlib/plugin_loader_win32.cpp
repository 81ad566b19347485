#include <windows.h>

#include "platform/linux/codepage.h"
#include "tools/hostlib/plugin_loader.h"

namespace host {
namespace {

void* OpenModule(const std::filesystem::path& path) {
    return reinterpret_cast<void*>(LoadLibraryW(path.c_str()));
}
void* FindSymbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void CloseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
std::string ModuleError() {
    const DWORD code = GetLastError();
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string message = text != nullptr ? reinterpret_cast<const char16_t*>(text) : u"";
    LocalFree(text);
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r')) message.pop_back();
    return "error " + std::to_string(code) +
           (message.empty() ? "" : " (" + velkaron::platform::EncodeUtf8(message) + ")");
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int size = static_cast<int>(ansi.size());
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), size);
    wide.resize(units > 0 ? static_cast<std::size_t>(units) : 0);
    return velkaron::platform::EncodeUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace host

#include "tools/hostlib/plugin_loader_common.inc"
