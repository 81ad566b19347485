#include "platform/syscalls.h"

#include <cstring>

namespace velkaron::platform {

static SystemCallSlot* FindSlot(const char* name) {
    std::size_t count = 0;
    SystemCallSlot* table = SystemCallTable(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (std::strcmp(table[i].name, name) == 0) return &table[i];
    }
    return nullptr;
}

bool SetSystemCall(const char* name, SystemCall call) {
    SystemCallSlot* slot = FindSlot(name);
    if (slot == nullptr) return false;
    slot->current = call != nullptr ? call : slot->original;
    return true;
}

SystemCall GetSystemCall(const char* name) {
    const SystemCallSlot* slot = FindSlot(name);
    return slot != nullptr ? slot->current : nullptr;
}

}  // namespace velkaron::platform
