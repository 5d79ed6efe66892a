// Runs a piece of the program again and again with the nth call of one platform call failing,
// n = 1, 2, 3 ... until a run makes fewer than n calls of it and so meets no failure, and checks
// what must hold after every run, the clean last one included.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_win32.h"

namespace test {

// The failure a run met: the nth call of the API (counted from the start of the body) and, with
// `times` of kFailForever, every call after it; `hit` is 0 for the last run, which met none.
struct FailurePoint {
    std::string api;
    int nth;
    bool forever;
    bool hit;
    std::string Name() const;  // "LocalAlloc call 3, from then on"
};

struct FailurePlan {
    std::vector<std::string> apis;  // each driven on its own, in turn
    int times = 1;                  // failures in a row at each point; fake::kFailForever for all
    DWORD error = ERROR_ACCESS_DENIED;
    std::function<void()> setUp;    // a fresh world; its calls are not counted
    std::function<void()> body;     // the run
    std::function<void(const FailurePoint&)> check;
    int maxRuns = 5000;             // a run that never ends its calls fails the test past this
};

// The number of runs made, over every API of the plan.
int DriveFailures(const FailurePlan& plan);

}  // namespace test
