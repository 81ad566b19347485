#include "streams/field_stream.h"

#include <algorithm>
#include <vector>

#include "platform/small_buffer.h"
#include "text/encoding.h"

namespace velkaron {

std::u16string StreamListText(std::u16string_view file, const TFieldsRec& field) {
    std::vector<platform::StreamEntry> entries;
    if (!platform::ListStreams(file, field.OsStream.store, entries)) return {};
    return ListingText(entries);
}

// Names that would otherwise read as more streams, another size, or more lines: they hold the
// list's own marks, a quote, or a control character (a line break, a TAB).
static bool NeedsQuotes(std::u16string_view name) {
    return std::any_of(name.begin(), name.end(), [](char16_t c) {
        return c < u' ' || c == u',' || c == u'(' || c == u')' || c == u'"';
    });
}

static void AppendName(std::u16string& text, std::u16string_view name) {
    if (!NeedsQuotes(name)) {
        text.append(name);
        return;
    }
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    text.push_back(u'"');
    for (const char16_t c : name) {
        if (c == u'"' || c == u'\\') {
            text.append(2, c);
        } else if (c < u' ') {
            text.append(u"\\x").append(1, kHex[c >> 4]).push_back(kHex[c & 15]);
        } else {
            text.push_back(c);
        }
    }
    text.push_back(u'"');
}

std::u16string ListingText(std::vector<platform::StreamEntry>& entries) {
    // The same order on every build: UTF-16 units compared as numbers.
    std::sort(entries.begin(), entries.end(),
              [](const platform::StreamEntry& a, const platform::StreamEntry& b) { return a.name < b.name; });
    std::u16string text;
    for (const platform::StreamEntry& entry : entries) {
        if (!text.empty()) text += u", ";
        AppendName(text, entry.name);
        const std::string size = std::to_string(entry.size);
        text.append(u" (").append(size.begin(), size.end());
        if (entry.atLeast) text.push_back(u'+');
        text.push_back(u')');
    }
    return text;
}

bool ReadFieldStream(const char16_t* file, const TFieldsRec& field, std::size_t maxBytes,
                     platform::StreamBytes& bytes) {
    return platform::ReadStream(file, field.OsStream, maxBytes, bytes);
}

bool StoreFieldText(std::u16string_view file, const TFieldsRec& field, std::u16string_view text) {
    // The exact last-write time, taken before the change and put back after it. Where it cannot
    // be taken, the time stays as the change leaves it. A write without KeepTime does none of it.
    bool isDirectory = false, captured = false;
    platform::FileTime saved;
    if (PluginOptions.KeepTime) {
        isDirectory = platform::IsDirectory(file);
        captured = platform::CaptureWriteTime(file, isDirectory, saved);
    }

    bool stored;
    if (text.empty()) {
        stored = platform::DeleteStream(file, field.OsStream);
    } else {
        SmallBuffer<char, 4096> bytes;
        const std::size_t size = EncodeValue(text, PluginOptions.WriteUTF8, bytes.Reserve(3 * text.size()));
        stored = platform::WriteStream(file, field.OsStream, {bytes.data(), size});
    }
    // A failed change may have moved the time too (the stream was extended and put back).
    if (captured) platform::RestoreWriteTime(file, isDirectory, saved);
    return stored;
}

}  // namespace velkaron
