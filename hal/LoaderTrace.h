#pragma once
// The loader's diagnostic trace: one line per step of finding and loading the hardware
// library, for an installer who sees every board refused and needs to know why.
// VEXA_GPIO_TRACE=1 sends it to standard error, VEXA_GPIO_TRACE=<absolute path>
// appends it to that regular file; unset or empty, it is off. Any other value, or a
// file that cannot be opened or written, sends it nowhere: the trace never changes
// what the run does.

#include <initializer_list>
#include <string_view>

namespace vexa::hal {

class LibraryHandle;

namespace trace {

// Whether the trace is on. Reads VEXA_GPIO_TRACE (and opens its file) on the first
// call only; when the variable is unset that getenv is the trace's whole cost, so test
// this before composing a step.
bool on();

// Writes "vexa-gpio: " and the pieces as one line, in one write, the pieces escaped
// (hal/TextEscape.h).
void step(std::initializer_list<std::string_view> pieces);

// "env <name>=" and the value in quotes, or "env <name> unset" for a null value.
void variable(const char* name, const char* value);

// "load ok", or "load failed: " and why, from what the handle recorded.
void loadOutcome(const LibraryHandle& library);

} // namespace trace
} // namespace vexa::hal
