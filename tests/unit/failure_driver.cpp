#include "failure_driver.h"

#include <gtest/gtest.h>

namespace test {

std::string FailurePoint::Name() const {
    return api + " call " + std::to_string(nth) + (forever ? ", from then on" : ", once");
}

int DriveFailures(const FailurePlan& plan) {
    int runs = 0;
    for (const std::string& api : plan.apis) {
        for (int nth = 1;; ++nth) {
            if (plan.setUp) plan.setUp();
            int before = fake::CallCount(api);
            fake::FailCall(api, nth, plan.times, plan.error);
            FailurePoint point{api, nth, plan.times == fake::kFailForever, true};
            SCOPED_TRACE(point.Name());
            plan.body();
            ++runs;
            point.hit = fake::CallCount(api) - before >= nth;
            plan.check(point);
            if (!point.hit) break;
            if (runs >= plan.maxRuns) {
                ADD_FAILURE() << "still failing calls after " << runs << " runs";
                return runs;
            }
        }
    }
    return runs;
}

}  // namespace test
