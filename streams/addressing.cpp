#include "streams/addressing.h"

namespace velkaron {

std::u16string ToLongPath(const std::u16string& fileName) {
    if (fileName.compare(0, 4, u"\\\\?\\") == 0) return fileName;
    if (fileName.compare(0, 2, u"\\\\") == 0) return u"\\\\?\\UNC\\" + fileName.substr(2);
    return u"\\\\?\\" + fileName;
}

std::u16string BuildStreamPath(const std::u16string& fileName, const std::u16string& stream) {
    return ToLongPath(fileName) + u":" + stream;
}

}  // namespace velkaron
