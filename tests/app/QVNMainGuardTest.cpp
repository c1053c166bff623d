#include "QVNMainGuard.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <vector>

TEST(QVNMainGuard, WhatEscapesTheProgramBecomesOneLineAndAFailureCode)
{
    EXPECT_EQ(QVNMainGuard("prog", [] { return 3; }), 3); // a normal end keeps its code

    const struct
    {
        void (*body)();
        const char* line;
    } cases[] = {
        {[] { throw std::bad_alloc(); }, "prog: internal error, stopped: out of memory\n"},
        {[] { throw std::runtime_error("disk on fire"); }, "prog: internal error, stopped: disk on fire\n"},
        {[] { throw 42; }, "prog: internal error, stopped: unknown exception\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const int code = QVNMainGuard("prog", [&]() -> int {
            c.body();
            return 0;
        });
        EXPECT_EQ(code, QVNMainGuardExitCode);
        EXPECT_NE(code, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    }
}

TEST(QVNMainGuardDeathTest, AnExceptionThatReachesTerminateEndsWithTheFailureCodeNotAnAbort)
{
    const auto thrower = []() noexcept(false) { throw std::length_error("vector too long"); };
    EXPECT_EXIT(QVNMainGuard("prog",
                             [&]() -> int {
                                 // Thrown through a noexcept frame: std::terminate, not the catch.
                                 [&]() noexcept { thrower(); }();
                                 return 0;
                             }),
                testing::ExitedWithCode(QVNMainGuardExitCode), "prog: internal error, stopped: vector too long");
}
