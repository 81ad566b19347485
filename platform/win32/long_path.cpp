#include "platform/win32/long_path.h"

namespace velkaron::platform {

namespace {
// The long-path form of a name is a prefix followed by the name less its first `skip` units.
struct LongForm {
    std::u16string_view prefix;
    std::size_t skip;
};

LongForm LongFormOf(std::u16string_view fileName) {
    if (fileName.substr(0, 4) == u"\\\\?\\") return {u"", 0};
    if (fileName.substr(0, 2) == u"\\\\") return {u"\\\\?\\UNC\\", 2};
    return {u"\\\\?\\", 0};
}
}  // namespace

std::u16string ToLongPath(std::u16string_view fileName) {
    const LongForm form = LongFormOf(fileName);
    std::u16string path(form.prefix);
    path += fileName.substr(form.skip);
    return path;
}

const char16_t* BuildStreamPath(std::u16string_view fileName, std::u16string_view stream, WideName& out) {
    const LongForm form = LongFormOf(fileName);
    const std::u16string_view name = fileName.substr(form.skip);
    char16_t* path = out.Reserve(form.prefix.size() + name.size() + 1 + stream.size() + 1);
    char16_t* end = path + form.prefix.copy(path, form.prefix.size());
    end += name.copy(end, name.size());
    *end++ = u':';
    end += stream.copy(end, stream.size());
    *end = u'\0';
    out.SetSize(static_cast<std::size_t>(end - path));
    return path;
}

}  // namespace velkaron::platform
