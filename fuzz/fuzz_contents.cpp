// Stream contents to text: the UTF-8 test and both decoders, with their invariants; file names'
// bytes to UTF-16 and back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/linux/codepage.h"
#include "text/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velkaron;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const bool cut = IsUtf8Text(bytes, true), strict = IsUtf8Text(bytes, false);
    if (strict && !cut) std::abort();  // a strict pass is also a lenient one
    for (bool readUtf8 : {false, true}) {
        // Never more units than bytes: a guard unit past that room stays untouched.
        std::u16string text(bytes.size() + 1, u'\uABCD');
        const std::size_t units = DecodeContents(bytes, readUtf8, text.data());
        if (units > bytes.size() || text[bytes.size()] != u'\uABCD') std::abort();
        if (!readUtf8 && units != bytes.size()) std::abort();
        // The quick ways give what the careful way gives: the UTF-8 test, then one decoder.
        const bool utf8 = readUtf8 && IsUtf8Text(bytes, true);
        text.resize(units);
        if (text != (utf8 ? platform::DecodeUtf8(bytes) : platform::DecodeWindows1252(bytes))) std::abort();
    }
    // Text made by the UTF-8 decoder has no lone surrogates, so it survives a round trip.
    const std::u16string decoded = platform::DecodeUtf8(bytes);
    if (platform::DecodeUtf8(platform::EncodeUtf8(decoded)) != decoded) std::abort();
    // A file name's bytes come back whole from their UTF-16 form, and valid UTF-8 reads alike.
    const std::u16string name = platform::DecodePath(bytes);
    if (name.size() > bytes.size() || platform::EncodePath(name) != bytes) std::abort();
    if (IsValidUtf8(bytes) && name != decoded) std::abort();
    if (platform::DecodeWindows1252(platform::EncodeWindows1252(platform::DecodeWindows1252(bytes))) !=
        platform::DecodeWindows1252(bytes)) {
        std::abort();
    }
    return 0;
}
