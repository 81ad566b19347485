// plughost: a command-line host for content plug-ins. It loads a plug-in by path and calls it the
// way the file manager does, so a plug-in can be tried and scripted from a terminal.
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/codepage.h"
#include "tools/hostlib/plugin_loader.h"

namespace {

namespace fs = std::filesystem;
using velkaron::platform::DecodeUtf8;
using velkaron::platform::EncodeUtf8;

const char kUsage[] =
    "usage: plughost PLUGIN COMMAND [ARGS]\n"
    "       plughost --help | -h | --version\n"
    "  PLUGIN  path of a content plug-in (.wdx, .w64, .so)\n"
    "commands:\n"
    "  fields                            list the fields: index, name, editable or read-only\n"
    "  get PATH... [--field F]... [--recursive]\n"
    "                                    a table of the values of each PATH (a folder lists its\n"
    "                                    entries; --recursive descends); F, a name or an index, picks\n"
    "                                    a column, and --field again adds one\n"
    "  value PATH FIELD                  the value of FIELD of PATH exactly, in UTF-8, nothing added\n"
    "  set PATH FIELD VALUE              store VALUE in FIELD (a name or an index) of PATH\n"
    "  clear PATH FIELD                  clear FIELD of PATH\n"
    "exit status: 0 done; 1 the plug-in reported a failure or could not be loaded, or a PATH does\n"
    "not exist (get and value; the other paths are still shown); 2 bad usage: an unknown command,\n"
    "option or field\n";

// The host's buffer for one value, in bytes.
constexpr int kValueBufferBytes = 16384;
constexpr int kFieldTypeWideString = 11;

int Usage(const std::string& problem) {
    if (!problem.empty()) std::fprintf(stderr, "plughost: %s\n", problem.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

// Bad usage that one line explains.
int Misused(const std::string& problem) {
    std::fprintf(stderr, "plughost: %s (plughost --help tells more)\n", problem.c_str());
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "plughost: %s\n", message.c_str());
    return 1;
}

std::string Utf8(const fs::path& path) { return path.u8string(); }

// Finds a field of the plug-in's list by name or by index.
bool ResolveField(const std::vector<host::FieldInfo>& fields, const std::u16string& spec, int& index) {
    const std::string text = EncodeUtf8(spec);
    for (const host::FieldInfo& field : fields) {
        if (field.name == text || std::to_string(field.index) == text) {
            index = field.index;
            return true;
        }
    }
    return false;
}

int NoSuchField(const std::u16string& spec) {
    return Misused("no field '" + EncodeUtf8(spec) + "': plughost PLUGIN fields lists them");
}

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// Asks for one value as the file manager does: first offering to wait (the plug-in may answer
// "deferred"), then, if it did, asking again for the real value. The plug-in's answer; text is
// the value in UTF-8 when it gave one.
int ReadValue(const host::PluginApi& api, const fs::path& path, int field, std::string& text) {
    std::u16string name = path.u16string();
    std::vector<char16_t> buffer(kValueBufferBytes / 2, u'\0');
    int code = api.ContentGetValueW(name.data(), field, 0, buffer.data(), kValueBufferBytes, 1);
    if (code == 0) code = api.ContentGetValueW(name.data(), field, 0, buffer.data(), kValueBufferBytes, 0);
    text = code == 11 ? EncodeUtf8(std::u16string(buffer.data())) : "";
    return code;
}

std::string CellText(const host::PluginApi& api, const fs::path& path, int field) {
    std::string text;
    const int code = ReadValue(api, path, field, text);
    switch (code) {
        case 11:
            return text;
        case -1:
            return "<no such field>";
        case -3:
            return "";
        case -2:
            return "<file error>";
        default:
            return "<answer " + std::to_string(code) + ">";
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(line);
            line.clear();
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (text[i] == '\t') {
            line += "    ";
        } else {
            line += text[i];
        }
    }
    lines.push_back(line);
    return lines;
}

std::size_t DisplayWidth(const std::string& utf8) {
    std::size_t width = 0;
    for (unsigned char c : utf8) width += (c & 0xC0) != 0x80;
    return width;
}

// Prints rows as a table; a cell with line breaks takes several lines, the others stay aligned.
void PrintTable(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t c = 0; c < row.size(); ++c) {
            for (const std::string& line : Lines(row[c])) widths[c] = std::max(widths[c], DisplayWidth(line));
        }
    }
    for (const auto& row : rows) {
        std::vector<std::vector<std::string>> cells;
        std::size_t height = 1;
        for (const std::string& cell : row) {
            cells.push_back(Lines(cell));
            height = std::max(height, cells.back().size());
        }
        for (std::size_t l = 0; l < height; ++l) {
            std::string out;
            for (std::size_t c = 0; c < cells.size(); ++c) {
                const std::string text = l < cells[c].size() ? cells[c][l] : "";
                out += text;
                if (c + 1 < cells.size()) out += std::string(widths[c] - DisplayWidth(text) + 2, ' ');
            }
            while (!out.empty() && out.back() == ' ') out.pop_back();
            std::printf("%s\n", out.c_str());
        }
    }
}

int Fields(const host::LoadedPlugin& plugin) {
    for (const host::FieldInfo& field : host::ListFields(plugin.api())) {
        std::printf("%d\t%s\t%s\n", field.index, field.name.c_str(),
                    field.editable ? "editable" : "read-only");
    }
    return 0;
}

int Get(const host::LoadedPlugin& plugin, const std::vector<std::u16string>& args) {
    std::vector<fs::path> targets;
    std::vector<std::u16string> fieldSpecs;
    bool recursive = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == u"--recursive") {
            recursive = true;
        } else if (args[i] == u"--field") {
            if (++i == args.size()) return Misused("--field needs a name or an index");
            fieldSpecs.push_back(args[i]);
        } else if (args[i].size() > 1 && args[i][0] == u'-') {
            return Misused("unknown option '" + EncodeUtf8(args[i]) + "'");
        } else {
            targets.emplace_back(args[i]);
        }
    }
    if (targets.empty()) return Usage("get needs at least one PATH");

    const std::vector<host::FieldInfo> all = host::ListFields(plugin.api());
    std::vector<host::FieldInfo> columns = fieldSpecs.empty() ? all : std::vector<host::FieldInfo>{};
    for (const std::u16string& spec : fieldSpecs) {
        int index = 0;
        if (!ResolveField(all, spec, index)) return NoSuchField(spec);
        columns.push_back(all[static_cast<std::size_t>(index)]);
    }

    // A folder stands for its entries (and, with --recursive, everything below it). A path that
    // does not exist is named and left out; the others are still shown.
    int status = 0;
    std::vector<fs::path> paths;
    for (const fs::path& target : targets) {
        std::error_code error;
        if (!Exists(target)) {
            status = Fail("no such file or folder: " + Utf8(target));
            continue;
        }
        if (!fs::is_directory(target, error)) {
            paths.push_back(target);
            continue;
        }
        std::vector<fs::path> entries;
        if (recursive) {
            for (auto it = fs::recursive_directory_iterator(target, error);
                 !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
                entries.push_back(it->path());
            }
        } else {
            for (auto it = fs::directory_iterator(target, error); !error && it != fs::directory_iterator();
                 it.increment(error)) {
                entries.push_back(it->path());
            }
        }
        if (error) return Fail("cannot list " + Utf8(target) + ": " + error.message());
#if defined(_WIN32)
        // No Windows file name holds a ':'; such entries are how Wine keeps streams on Unix
        // file systems, not files.
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [](const fs::path& p) { return p.filename().native().find(L':') != std::wstring::npos; }),
                      entries.end());
#endif
        std::sort(entries.begin(), entries.end());
        paths.insert(paths.end(), entries.begin(), entries.end());
    }

    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header{"PATH"};
    for (const host::FieldInfo& column : columns) header.push_back(column.name);
    rows.push_back(header);
    for (const fs::path& path : paths) {
        std::vector<std::string> row{Utf8(path)};
        const fs::path absolute = fs::absolute(path);
        for (const host::FieldInfo& column : columns) row.push_back(CellText(plugin.api(), absolute, column.index));
        rows.push_back(row);
    }
    PrintTable(rows);
    return status;
}

// One value exactly as the plug-in gives it, in UTF-8, nothing added: for scripts.
int Value(const host::LoadedPlugin& plugin, const std::vector<std::u16string>& args) {
    if (args.size() != 2) return Usage("value needs PATH FIELD");
    int index = 0;
    if (!ResolveField(host::ListFields(plugin.api()), args[1], index)) return NoSuchField(args[1]);
    if (!Exists(fs::path(args[0]))) return Fail("no such file or folder: " + Utf8(fs::path(args[0])));
    std::string text;
    const int code = ReadValue(plugin.api(), fs::absolute(fs::path(args[0])), index, text);
    if (code == -1) return Fail(EncodeUtf8(args[1]) + ": no such field");
    if (code != 11 && code != -3) return Fail("the plug-in answered " + std::to_string(code));
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);  // line breaks as they are
#endif
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int Set(const host::LoadedPlugin& plugin, const std::vector<std::u16string>& args, bool clear) {
    if (args.size() != (clear ? 2u : 3u)) return Usage(clear ? "clear needs PATH FIELD" : "set needs PATH FIELD VALUE");
    if (plugin.api().ContentSetValueW == nullptr) return Fail("the plug-in cannot change values");
    int index = 0;
    if (!ResolveField(host::ListFields(plugin.api()), args[1], index)) return NoSuchField(args[1]);
    std::u16string name = fs::absolute(fs::path(args[0])).u16string();
    std::u16string value = clear ? u"" : args[2];
    const int code = plugin.api().ContentSetValueW(name.data(), index, 0, kFieldTypeWideString, value.data(), 0);
    const std::string what = Utf8(fs::path(args[0])) + " field " + EncodeUtf8(args[1]);
    switch (code) {
        case 0:
            std::printf("%s: %s\n", what.c_str(), clear ? "cleared" : "stored");
            return 0;
        case -1:
            return Fail(what + ": no such field");
        case -2:
            return Fail(what + ": file error");
        default:
            return Fail(what + ": the plug-in answered " + std::to_string(code));
    }
}

int Run(const std::vector<std::u16string>& args) {
    for (std::size_t i = 0; i < std::min<std::size_t>(args.size(), 2); ++i) {
        if (args[i] == u"--help" || args[i] == u"-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (args[i] == u"--version") {
            std::printf("plughost %s\n", VELKARON_VERSION);
            return 0;
        }
    }
    if (!args.empty() && args[0].size() > 1 && args[0][0] == u'-') {
        return Misused("unknown option '" + EncodeUtf8(args[0]) + "'");
    }
    if (args.size() < 2) return Usage("");
    const fs::path pluginPath = fs::absolute(fs::path(args[0]));
    const std::u16string& command = args[1];
    const std::vector<std::u16string> rest(args.begin() + 2, args.end());
    if (command != u"fields" && command != u"get" && command != u"value" && command != u"set" &&
        command != u"clear") {
        return Usage("unknown command '" + EncodeUtf8(command) + "'");
    }
    std::error_code error;
    if (!fs::exists(pluginPath, error)) return Fail("no such file: " + Utf8(pluginPath));
    host::LoadedPlugin plugin;
    std::string message;
    if (!plugin.Load(pluginPath, message)) return Fail(message);
    if (command == u"fields") return Fields(plugin);
    if (command == u"get") return Get(plugin, rest);
    if (command == u"value") return Value(plugin, rest);
    return Set(plugin, rest, command == u"clear");
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        args.emplace_back(arg.begin(), arg.end());
    }
    return Run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(DecodeUtf8(argv[i]));
    return Run(args);
}
#endif
