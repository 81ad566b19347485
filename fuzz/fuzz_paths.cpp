// Host file names to Windows stream names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32/long_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velkaron;
    using namespace velkaron::platform;
    std::u16string name(size / 2, u'\0');
    if (!name.empty()) std::memcpy(name.data(), data, name.size() * 2);
    const std::u16string longPath = ToLongPath(name);
    if (longPath.compare(0, 4, u"\\\\?\\") != 0) std::abort();
    if (ToLongPath(longPath) != longPath) std::abort();  // applying it again changes nothing
    if (longPath.size() < name.size()) std::abort();
    WideName buffer;
    BuildStreamPath(name, u"Zone.Identifier", buffer);
    const std::u16string stream(buffer.data(), buffer.size());
    if (buffer.data()[buffer.size()] != u'\0') std::abort();
    if (stream != longPath + u":Zone.Identifier") std::abort();
    return 0;
}
