#pragma once

// The last line of defence of every program's main: whatever escapes the program's own error
// handling (an exception, memory running out) becomes one clear line on stderr and a non-zero exit
// instead of an abort. Header-only and free of Qt, so every program can use it.
//
//   int main(int argc, char** argv)
//   {
//       return QVNMainGuard("quorvin-cli", [&] { ... the program ... });
//   }

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

/// The exit code of a program stopped by the guard: failed work, as for any other failure.
inline constexpr int QVNMainGuardExitCode = 1;

namespace QVNMainGuardDetail {

inline const char*& programName()
{
    static const char* name = "program";
    return name;
}

inline void report(const char* what)
{
    std::fprintf(stderr, "%s: internal error, stopped: %s\n", programName(), what);
    std::fflush(stderr);
}

// Describes the exception in flight (called only inside a catch block or with one current).
inline void reportCurrent()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        report("out of memory");
    } catch (const std::exception& e) {
        report(e.what());
    } catch (...) {
        report("unknown exception");
    }
}

// An exception that cannot reach main (thrown through a noexcept function, or on another thread)
// ends in std::terminate; that too gets its line and the failure exit code, not an abort.
[[noreturn]] inline void onTerminate()
{
    if (std::current_exception())
        reportCurrent();
    else
        report("terminated");
    std::_Exit(QVNMainGuardExitCode);
}

} // namespace QVNMainGuardDetail

template <typename Body> int QVNMainGuard(const char* program, Body&& body) noexcept
{
    QVNMainGuardDetail::programName() = program;
    std::set_terminate(QVNMainGuardDetail::onTerminate);
    try {
        return body();
    } catch (...) {
        QVNMainGuardDetail::reportCurrent();
    }
    return QVNMainGuardExitCode;
}
