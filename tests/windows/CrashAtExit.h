#pragma once
// A test program whose platform may crash as the process ends, after every
// test has run, says here which crash and why. Its main then prints that
// reason after the test summary, and tests/support/judge-test-run forgives a
// crash only after that line: a crash during any test still fails the run.
namespace QuivaneTest {

// Records the reason; returns true so that it can initialise a static.
bool TolerateCrashAtExit(const char* why);
// The reason recorded, or null.
const char* ToleratedCrashAtExit();

} // namespace QuivaneTest

#define QUIVANE_TOLERATE_CRASH_AT_EXIT(why) \
    [[maybe_unused]] static const bool quivaneToleratesCrashAtExit = QuivaneTest::TolerateCrashAtExit(why)
