// plughost: a command-line host for content plug-ins. It loads a plug-in by path and calls it the
// way the file manager does, so a plug-in can be tried and scripted from a terminal.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "tools/hostlib/plugin_loader.h"

namespace {

const char kUsage[] =
    "usage: plughost PLUGIN COMMAND\n"
    "  PLUGIN   path of a content plug-in (.wdx, .w64, .so)\n"
    "commands:\n"
    "  fields   list the plug-in's fields: index, name, editable or read-only\n";

void PrintError(const std::string& message) { std::fprintf(stderr, "plughost: %s\n", message.c_str()); }

int Fields(const host::LoadedPlugin& plugin) {
    for (const host::FieldInfo& field : host::ListFields(plugin.api())) {
        std::printf("%d\t%s\t%s\n", field.index, field.name.c_str(),
                    field.editable ? "editable" : "read-only");
    }
    return 0;
}

// args[0] is the plug-in's path, args[1] the command, as UTF-8.
int Run(const std::filesystem::path& pluginPath, const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string& command = args[0];
    if (command != "fields") {
        PrintError("unknown command '" + command + "'");
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!std::filesystem::exists(pluginPath)) {
        PrintError("no such file: " + pluginPath.u8string());
        return 1;
    }
    host::LoadedPlugin plugin;
    std::string error;
    if (!plugin.Load(pluginPath, error)) {
        PrintError(error);
        return 1;
    }
    return Fields(plugin);
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        args.push_back(velkaron::platform::EncodeUtf8(std::u16string(arg.begin(), arg.end())));
    }
    return Run(std::filesystem::absolute(argv[1]), args);
}
#else
int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return Run(std::filesystem::absolute(argv[1]), std::vector<std::string>(argv + 2, argv + argc));
}
#endif
