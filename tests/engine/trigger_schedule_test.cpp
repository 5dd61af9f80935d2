// The trigger schedule behind the adaptor manager's answers: which frames
// are delivered, with what tags, and when the acquisition is complete.
#include "korimaq_engine.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using korimaq::AcquisitionPlan;
using korimaq::TriggerSchedule;

// Decides `frames` frames in turn, firing a manual trigger before each frame
// listed in `fireBefore` (0-based). Each delivered frame reads
// "number:trigger.relative"; "+k" marks an immediate trigger k fired after
// a frame, "W" a schedule waiting after it, "C" a complete one.
std::string run(const AcquisitionPlan& plan, std::uint64_t frames, const std::set<std::uint64_t>& fireBefore = {}) {
    TriggerSchedule schedule(plan);
    std::string out;
    for (std::uint64_t taken = 0; taken < frames; ++taken) {
        if (fireBefore.count(taken) != 0) out += schedule.fire() ? "F " : "f ";
        const TriggerSchedule::Decision decision = schedule.decide(taken);
        if (!decision.deliver) continue;
        out += std::to_string(decision.tag.frameNumber) + ":" + std::to_string(decision.tag.triggerIndex) + "." +
               std::to_string(decision.tag.relativeFrame);
        if (decision.nextTrigger != 0) out += " +" + std::to_string(decision.nextTrigger);
        if (schedule.waiting()) out += " W";
        if (schedule.complete()) out += " C";
        out += " ";
    }
    return out;
}

AcquisitionPlan plan(std::uint32_t perTrigger, std::uint32_t interval, std::uint64_t repeat, std::uint32_t delay,
                     bool manual) {
    return {perTrigger, interval, repeat, delay, manual};
}

TEST(TriggerScheduleTest, WhichFramesEachPlanDelivers) {
    const std::uint64_t endless = AcquisitionPlan::kEndless;
    const struct {
        const char* what;
        AcquisitionPlan plan;
        std::uint64_t frames;
        std::set<std::uint64_t> fireBefore;
        const char* expected;
    } cases[] = {
        {"immediate, one trigger", plan(3, 1, 0, 0, false), 5, {}, "1:1.1 2:1.2 3:1.3 C "},
        {"grab interval 2", plan(2, 2, 0, 0, false), 6, {}, "1:1.1 3:1.2 C "},
        {"frame delay 2", plan(2, 1, 0, 2, false), 6, {}, "3:1.1 4:1.2 C "},
        {"delay and interval", plan(2, 3, 0, 1, false), 9, {}, "2:1.1 5:1.2 C "},
        {"immediate repeats chain", plan(2, 1, 1, 0, false), 6, {}, "1:1.1 2:1.2 +2 3:2.1 4:2.2 C "},
        {"immediate repeat with delay", plan(1, 1, 1, 1, false), 6, {}, "2:1.1 +2 4:2.1 C "},
        {"immediate without end", plan(0, 1, 0, 0, false), 3, {}, "1:1.1 2:1.2 3:1.3 "},
        {"manual: nothing before the trigger", plan(2, 1, 1, 0, true), 4, {}, ""},
        {"manual: two triggers, frames between skipped",
         plan(2, 1, 1, 0, true),
         10,
         {2, 7},
         "F 3:1.1 4:1.2 W F 8:2.1 9:2.2 C "},
        {"manual: a trigger while logging is refused", plan(3, 1, 0, 0, true), 6, {0, 1}, "F 1:1.1 f 2:1.2 3:1.3 C "},
        {"manual: delay counts from the trigger", plan(1, 1, endless, 2, true), 8, {1, 5}, "F 4:1.1 W F 8:2.1 W "},
        {"manual endless triggers, endless frames", plan(0, 1, endless, 0, true), 3, {1}, "F 2:1.1 3:1.2 "},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.plan, c.frames, c.fireBefore), c.expected) << c.what;
}

TEST(TriggerScheduleTest, ACompleteScheduleTakesNoTrigger) {
    TriggerSchedule schedule(plan(1, 1, 0, 0, true));
    EXPECT_TRUE(schedule.waiting());
    EXPECT_TRUE(schedule.fire());
    EXPECT_TRUE(schedule.decide(0).deliver);
    EXPECT_TRUE(schedule.complete());
    EXPECT_FALSE(schedule.fire());
    EXPECT_FALSE(schedule.decide(1).deliver);
    EXPECT_EQ(schedule.triggersFired(), 1u);
}

TEST(TriggerScheduleTest, TotalFramesOverAllTriggers) {
    EXPECT_EQ(korimaq::totalFrames(plan(10, 1, 4, 0, true)), 50u);
    EXPECT_EQ(korimaq::totalFrames(plan(10, 1, 0, 0, false)), 10u);
    EXPECT_EQ(korimaq::totalFrames(plan(0, 1, 4, 0, false)), 0u) << "endless frames per trigger";
    EXPECT_EQ(korimaq::totalFrames(plan(10, 1, AcquisitionPlan::kEndless, 0, true)), 0u) << "endless triggers";
    EXPECT_EQ(korimaq::totalFrames(plan(4294967295u, 1, UINT64_MAX - 1, 0, true)), 0u) << "beyond any run";
}

}  // namespace
