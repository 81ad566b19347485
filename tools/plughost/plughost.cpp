// plughost: a command-line host for content plug-ins. It loads a plug-in by path and calls it the
// way the file manager does, so a plug-in can be tried and scripted from a terminal.
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/codepage.h"
#include "tools/hostlib/plugin_loader.h"

namespace {

namespace fs = std::filesystem;
using velkaron::platform::DecodePath;
using velkaron::platform::DecodeUtf8;
using velkaron::platform::EncodePath;
using velkaron::platform::EncodeUtf8;

const char kUsage[] =
    "usage: plughost PLUGIN COMMAND [ARGS]\n"
    "       plughost --help | -h | --version\n"
    "  PLUGIN  path of a content plug-in (.wdx, .w64, .so)\n"
    "commands:\n"
    "  fields                            list the fields: index, name, editable or read-only\n"
    "  get PATH... [--field F]... [--recursive]\n"
    "                                    a table of the values of each PATH (a folder lists its\n"
    "                                    entries; --recursive descends); --field F picks a column,\n"
    "                                    and --field again adds one\n"
    "  value PATH FIELD                  the value of FIELD of PATH exactly, in UTF-8, nothing added\n"
    "  set PATH FIELD VALUE              store VALUE in FIELD of PATH\n"
    "  clear PATH FIELD                  clear FIELD of PATH\n"
    "FIELD and F: digits are an index, and only an index; name:TEXT is the field named TEXT, also\n"
    "when TEXT is digits; any other text is a name.\n"
    "-- ends the options: what follows is a PATH, FIELD or VALUE even when it starts with '-'.\n"
    "--help or -h anywhere before -- prints this.\n"
    "exit status: 0 done; 1 the plug-in reported a failure, offers no field or could not be\n"
    "loaded, or a PATH of get or value does not exist, cannot be listed or cannot be passed to the\n"
    "plug-in (get still shows the other paths); 2 bad usage: an unknown command, option or field,\n"
    "or an argument missing or too many\n";

// The host's buffer for one value, in bytes.
constexpr int kValueBufferBytes = 16384;
constexpr int kFieldTypeWideString = 11;

// One command-line argument, as text (an option, a field, a value) and as a file name. On Linux
// the file name is the argument's own bytes, whatever they are, so that every file can be named.
struct Arg {
    std::u16string text;
    fs::path path;
};

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

// A path as printed: on Linux its own bytes, on Windows in UTF-8. (path::u8string() and
// u16string() throw on a Linux name that is not UTF-8, and on Windows on a lone surrogate.)
std::string Shown(const fs::path& path) {
#if defined(_WIN32)
    const std::wstring& wide = path.native();
    return EncodeUtf8(std::u16string(wide.begin(), wide.end()));
#else
    return path.native();
#endif
}

// The path a host hands a plug-in for path: full, and on Windows with '/' as '\' and "." and ".."
// resolved, which the plug-in's long form (\\?\) takes literally. Empty when there is none.
fs::path FullPath(const fs::path& path) {
#if defined(_WIN32)
    const std::wstring& given = path.native();
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD units = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (units == 0) return {};
        if (units < full.size()) {
            full.resize(units);
            return full;
        }
        full.resize(units);  // too small: units is the size it needs, the terminator counted
    }
#else
    std::error_code error;
    fs::path full = fs::absolute(path, error);
    return error ? fs::path() : full;
#endif
}

// The name the plug-in is handed for full, as FullPath made it. False when there is none that
// reaches that file: on Linux the plug-in encodes the name back, and it must give the same bytes.
bool PluginName(const fs::path& full, std::u16string& name) {
#if defined(_WIN32)
    name.assign(full.native().begin(), full.native().end());
    return !name.empty();
#else
    name = DecodePath(full.native());
    return !name.empty() && EncodePath(name) == full.native();
#endif
}

// FullPath, then PluginName; a path that has no such name is named on standard error.
bool HostPath(const fs::path& path, std::u16string& name) {
    const fs::path full = FullPath(path);
    if (!full.empty() && PluginName(full, name)) return true;
    Fail("cannot pass " + Shown(path) + " to the plug-in: " +
         (full.empty() ? "no full path (is the current folder gone?)" : "its name would not come back to its bytes"));
    return false;
}

bool AllDigits(const std::u16string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// Finds a field of the plug-in's list: digits are an index and never a name, so that a script's
// index cannot meet a field named "2"; "name:" then anything is the name after it.
bool ResolveField(const std::vector<host::FieldInfo>& fields, const std::u16string& spec, int& index) {
    if (AllDigits(spec)) {
        std::size_t value = 0;
        for (const char16_t c : spec) value = std::min<std::size_t>(value * 10 + (c - u'0'), fields.size());
        if (value >= fields.size()) return false;
        index = fields[value].index;
        return true;
    }
    const std::u16string prefix = u"name:";
    const std::string name = EncodeUtf8(spec.compare(0, prefix.size(), prefix) == 0 ? spec.substr(prefix.size()) : spec);
    for (const host::FieldInfo& field : fields) {
        if (field.name == name) {
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
int ReadValue(const host::PluginApi& api, std::u16string name, int field, std::string& text) {
    std::vector<char16_t> buffer(kValueBufferBytes / 2, u'\0');
    int code = api.ContentGetValueW(name.data(), field, 0, buffer.data(), kValueBufferBytes, 1);
    if (code == 0) code = api.ContentGetValueW(name.data(), field, 0, buffer.data(), kValueBufferBytes, 0);
    text = code == 11 ? EncodeUtf8(std::u16string(buffer.data())) : "";
    return code;
}

std::string CellText(const host::PluginApi& api, const std::u16string& name, int field) {
    std::string text;
    const int code = ReadValue(api, name, field, text);
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

// The command line: the operands (PLUGIN, COMMAND, then the command's own) and get's options.
struct CommandLine {
    std::vector<Arg> operands;
    std::vector<std::u16string> fieldSpecs;
    bool recursive = false;
};

// Reads the options wherever they stand before "--". -1 when the command is to run, else the
// exit status (--help and --version are answered here).
int ParseOptions(const std::vector<Arg>& args, CommandLine& line) {
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string& word = args[i].text;
        if (!options || word.size() < 2 || word[0] != u'-') {
            line.operands.push_back(args[i]);
        } else if (word == u"--") {
            options = false;
        } else if (word == u"--help" || word == u"-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (word == u"--version") {
            std::printf("plughost %s\n", VELKARON_VERSION);
            return 0;
        } else if (word == u"--recursive") {
            line.recursive = true;
        } else if (word == u"--field") {
            if (++i == args.size()) return Misused("--field needs a name or an index");
            line.fieldSpecs.push_back(args[i].text);
        } else {
            return Misused("unknown option '" + EncodeUtf8(word) + "'");
        }
    }
    return -1;
}

int Fields(const host::LoadedPlugin& plugin) {
    const std::vector<host::FieldInfo> fields = host::ListFields(plugin.api());
    if (fields.empty()) return Fail("the plug-in offers no field");
    for (const host::FieldInfo& field : fields) {
        std::printf("%d\t%s\t%s\n", field.index, field.name.c_str(), field.editable ? "editable" : "read-only");
    }
    return 0;
}

// Adds the entries of folder, and with recursive those of every folder below it (not through
// links), to paths. A folder that cannot be listed is named and the rest still taken: false then.
bool AddEntries(const fs::path& folder, bool recursive, std::vector<fs::path>& paths) {
    bool complete = true;
    std::vector<fs::path> pending{folder};
    while (!pending.empty()) {
        const fs::path current = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        for (fs::directory_iterator it(current, error); !error && it != fs::directory_iterator(); it.increment(error)) {
#if defined(_WIN32)
            // No Windows file name holds a ':'; such entries are how Wine keeps streams on Unix
            // file systems, not files.
            if (it->path().filename().native().find(L':') != std::wstring::npos) continue;
#endif
            paths.push_back(it->path());
            std::error_code kindError;
            if (recursive && it->symlink_status(kindError).type() == fs::file_type::directory) {
                pending.push_back(it->path());
            }
        }
        if (error) {
            Fail("cannot list " + Shown(current) + ": " + error.message());
            complete = false;
        }
    }
    return complete;
}

int Get(const host::LoadedPlugin& plugin, const CommandLine& line) {
    const std::vector<host::FieldInfo> all = host::ListFields(plugin.api());
    std::vector<host::FieldInfo> columns = line.fieldSpecs.empty() ? all : std::vector<host::FieldInfo>{};
    for (const std::u16string& spec : line.fieldSpecs) {
        int index = 0;
        if (!ResolveField(all, spec, index)) return NoSuchField(spec);
        columns.push_back(all[static_cast<std::size_t>(index)]);
    }

    // A folder stands for its entries (and, with --recursive, everything below it). A path that
    // does not exist, a folder that cannot be listed and a name that cannot be passed are named
    // and left out; the others are still shown.
    int status = 0;
    std::vector<fs::path> paths;
    for (auto target = line.operands.begin() + 2; target != line.operands.end(); ++target) {
        std::error_code error;
        if (!Exists(FullPath(target->path))) {
            status = Fail("no such file or folder: " + Shown(target->path));
        } else if (!fs::is_directory(target->path, error)) {
            paths.push_back(target->path);
        } else {
            std::vector<fs::path> entries;
            if (!AddEntries(target->path, line.recursive, entries)) status = 1;
            std::sort(entries.begin(), entries.end());
            paths.insert(paths.end(), entries.begin(), entries.end());
        }
    }

    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header{"PATH"};
    for (const host::FieldInfo& column : columns) header.push_back(column.name);
    rows.push_back(header);
    for (const fs::path& path : paths) {
        std::u16string name;
        if (!HostPath(path, name)) {
            status = 1;
            continue;
        }
        std::vector<std::string> row{Shown(path)};
        for (const host::FieldInfo& column : columns) row.push_back(CellText(plugin.api(), name, column.index));
        rows.push_back(row);
    }
    PrintTable(rows);
    return status;
}

// One value exactly as the plug-in gives it, in UTF-8, nothing added: for scripts.
int Value(const host::LoadedPlugin& plugin, const Arg& path, const std::u16string& spec) {
    int index = 0;
    if (!ResolveField(host::ListFields(plugin.api()), spec, index)) return NoSuchField(spec);
    if (!Exists(FullPath(path.path))) return Fail("no such file or folder: " + Shown(path.path));
    std::u16string name;
    if (!HostPath(path.path, name)) return 1;
    std::string text;
    const int code = ReadValue(plugin.api(), name, index, text);
    if (code == -1) return Fail(EncodeUtf8(spec) + ": no such field");
    if (code != 11 && code != -3) return Fail("the plug-in answered " + std::to_string(code));
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);  // line breaks as they are
#endif
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

// Set (a value given) or clear (none).
int Set(const host::LoadedPlugin& plugin, const Arg& path, const std::u16string& spec, const std::u16string* value) {
    if (plugin.api().ContentSetValueW == nullptr) return Fail("the plug-in cannot change values");
    int index = 0;
    if (!ResolveField(host::ListFields(plugin.api()), spec, index)) return NoSuchField(spec);
    std::u16string name;
    if (!HostPath(path.path, name)) return 1;
    std::u16string text = value != nullptr ? *value : u"";
    const int code = plugin.api().ContentSetValueW(name.data(), index, 0, kFieldTypeWideString, text.data(), 0);
    const std::string what = Shown(path.path) + " field " + EncodeUtf8(spec);
    switch (code) {
        case 0:
            std::printf("%s: %s\n", what.c_str(), value != nullptr ? "stored" : "cleared");
            return 0;
        case -1:
            return Fail(what + ": no such field");
        case -2:
            return Fail(what + ": file error");
        default:
            return Fail(what + ": the plug-in answered " + std::to_string(code));
    }
}

int Run(const std::vector<Arg>& args) {
    CommandLine line;
    const int parsed = ParseOptions(args, line);
    if (parsed >= 0) return parsed;
    const std::vector<Arg>& operands = line.operands;
    if (operands.size() < 2) return Usage("");
    const std::u16string& command = operands[1].text;
    // How many operands each command takes after PLUGIN and COMMAND: at least, at most.
    struct Shape {
        const char16_t* name;
        std::size_t least, most;
        const char* needs;
    };
    static const Shape kShapes[] = {
        {u"fields", 0, 0, ""},
        {u"get", 1, SIZE_MAX, "get needs at least one PATH"},
        {u"value", 2, 2, "value needs PATH FIELD"},
        {u"set", 3, 3, "set needs PATH FIELD VALUE"},
        {u"clear", 2, 2, "clear needs PATH FIELD"},
    };
    const Shape* shape = nullptr;
    for (const Shape& candidate : kShapes) {
        if (command == candidate.name) shape = &candidate;
    }
    if (shape == nullptr) return Usage("unknown command '" + EncodeUtf8(command) + "'");
    const std::size_t given = operands.size() - 2;
    if (given < shape->least) return Usage(shape->needs);
    if (given > shape->most) {
        return Misused("too many arguments for " + EncodeUtf8(command) + ", from '" +
                       EncodeUtf8(operands[2 + shape->most].text) + "' on");
    }
    if (command != u"get" && (line.recursive || !line.fieldSpecs.empty())) {
        return Misused(std::string(line.recursive ? "--recursive" : "--field") + " belongs to get");
    }

    const fs::path pluginPath = FullPath(operands[0].path);
    if (!Exists(pluginPath)) return Fail("no such file: " + Shown(operands[0].path));
    host::LoadedPlugin plugin;
    std::string message;
    if (!plugin.Load(pluginPath, message)) return Fail(message);
    if (command == u"fields") return Fields(plugin);
    if (command == u"get") return Get(plugin, line);
    if (command == u"value") return Value(plugin, operands[2], operands[3].text);
    if (command == u"set") return Set(plugin, operands[2], operands[3].text, &operands[4].text);
    return Set(plugin, operands[2], operands[3].text, nullptr);
}

// Run, with anything it throws (a full memory, a name the library cannot convert) told in one
// line: no input ends the host without a word.
int RunCaught(const std::vector<Arg>& args) {
    try {
        return Run(args);
    } catch (const std::exception& error) {
        return Fail(error.what());
    } catch (...) {
        return Fail("an unexpected error");
    }
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
    std::vector<Arg> args;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        args.push_back({std::u16string(arg.begin(), arg.end()), fs::path(arg)});
    }
    return RunCaught(args);
}
#else
int main(int argc, char** argv) {
    std::vector<Arg> args;
    for (int i = 1; i < argc; ++i) args.push_back({DecodeUtf8(argv[i]), fs::path(std::string(argv[i]))});
    return RunCaught(args);
}
#endif
