// The list of fields the host is offered.
#include "plugin/field_list.h"

#include <algorithm>
#include <cstring>

#include "config/configuration.h"
#include "platform/platform.h"
#include "plugin/exports.h"
#include "plugin/result_codes.h"

namespace velkaron {

void CopyFieldName(const std::string& name, char* buffer, std::int32_t size) noexcept {
    if (buffer == nullptr || size < 2) return;
    std::size_t count = std::strlen(name.c_str());  // an embedded zero ends the name
    count = std::min(count, static_cast<std::size_t>(size) - 2);
    std::memcpy(buffer, name.data(), count);
    buffer[count] = '\0';
}

void CopyWholeString(const char* text, char* buffer, std::int32_t size) noexcept {
    if (buffer == nullptr || size < 1) return;
    const std::size_t length = std::strlen(text);
    if (length >= static_cast<std::size_t>(size)) {
        buffer[0] = '\0';
        return;
    }
    std::memcpy(buffer, text, length + 1);
}

}  // namespace velkaron

extern "C" std::int32_t VELKARON_CALL ContentGetSupportedField(std::int32_t fieldIndex,
                                                                char* fieldName, char* units,
                                                                std::int32_t maxLen) {
    using namespace velkaron;
    const TFieldsRec* field = FieldAt(fieldIndex);
    if (field == nullptr) return kNoMoreFields;
    try {
        std::string name(3 * field->FieldName.size(), '\0');
        name.resize(platform::ToAnsi(field->FieldName, name.data()));
        CopyFieldName(name, fieldName, maxLen);
    } catch (...) {
        // No memory for the conversion: the field still exists, its name stays unwritten.
    }
    if (units != nullptr && maxLen >= 1) units[0] = '\0';
    return kFieldWideString;
}

extern "C" std::int32_t VELKARON_CALL ContentGetSupportedFieldFlags(std::int32_t fieldIndex) {
    const velkaron::TFieldsRec* field = velkaron::FieldAt(fieldIndex);
    return field != nullptr && !velkaron::Editable(*field) ? 0 : velkaron::kFieldEditable;
}
