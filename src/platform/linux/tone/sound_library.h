// Sound libraries are loaded at run time, so tonerix has no link-time audio
// dependency and runs where they are missing: a library or symbol that is not
// there means "try the next driver".
//
// A driver lists the symbols it calls once, as X(symbol) entries of a macro,
// and expands it twice: into a record of function pointers named and typed
// as the symbols (TONERIX_SYMBOL_FIELD), and into the chain that binds them
// (TONERIX_BIND_SYMBOL, inside Bound's second argument after `true`, with the
// record named `symbols`).
#pragma once

#include <dlfcn.h>

#include "platform/linux/tone/tone_call.h"

#define TONERIX_SYMBOL_FIELD(symbol) decltype(&::symbol) symbol = nullptr;
#define TONERIX_BIND_SYMBOL(symbol)                                                                \
    &&::platform::linux_system::Bind(library, #symbol, symbols.symbol)

namespace platform::linux_system {

// The library `name`, or null when it is missing or the process runs with
// elevated privileges: a library's configuration and plugins are the
// invoking user's, and never run set-user-ID.
// Says why when it is null.
void* OpenSoundLibrary(ToneCall& call, const char* name);
// `all`, saying so when a symbol was missing.
bool Bound(ToneCall& call, bool all);

// Sets `function` to the library's symbol `name`; false when it is missing.
template <typename Function> bool Bind(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

} // namespace platform::linux_system
