#include "tools/console.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vqzdfu {

namespace {

void Write(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// A terminal that understands the escapes a redrawn progress block needs.
bool ErrIsTerminal() {
#ifdef _WIN32
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(err, &mode)) return false;
    return SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

}  // namespace

Console::Console(Sink out, Sink err, bool terminal)
    : out_(std::move(out)), err_(std::move(err)), terminal_(terminal) {}

Console& Console::Standard() {
    static Console console([](std::string_view text) { Write(stdout, text); },
                           [](std::string_view text) { Write(stderr, text); }, ErrIsTerminal());
    return console;
}

void Console::Out(std::string_view text) {
    std::lock_guard lock(mutex_);
    out_(text);
}

void Console::Err(std::string_view text) {
    std::lock_guard lock(mutex_);
    err_(text);
}

}  // namespace vqzdfu
