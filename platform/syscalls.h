// The OS calls behind the stream and time functions sit in a table and can be replaced one by
// one, so that tests can make any of them fail. Nothing but tests replaces them.
#pragma once

#include <cstddef>

namespace velkaron::platform {

using SystemCall = void (*)();

// Puts call in place of the named OS call; null puts the OS's own back. False for a name the
// table does not hold.
bool SetSystemCall(const char* name, SystemCall call);
// The call in force for name, or null for a name the table does not hold.
SystemCall GetSystemCall(const char* name);

// --- For the OS implementations ------------------------------------------------------------

struct SystemCallSlot {
    const char* name;
    SystemCall current;
    SystemCall original;
};

template <typename Fn>
SystemCall AsSystemCall(Fn fn) {
    return reinterpret_cast<SystemCall>(fn);
}

// The OS implementation's table and its length.
SystemCallSlot* SystemCallTable(std::size_t& count);

}  // namespace velkaron::platform
