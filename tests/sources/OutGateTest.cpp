// What every out gate shares: recording switch, start and stop, input component, analog channel
// indices and sampling.

#include "SourcesTestSupport.h"
#include "sources/NAStepGenerator.h"
#include "sources/NATimeWatch.h"
#include "sources/NFrequencyWatch.h"
#include "sources/NGenerator.h"
#include "sources/NTimeWatch.h"

namespace talvero::test {
namespace {

using OutGateTest = ModelTest;

TEST_F(OutGateTest, NewGatesRecordAndListTheirParameters) {
    auto* time = Add<NTimeWatch>("t");
    auto* analog = Add<NATimeWatch>("a");
    auto* frequency = Add<NFrequencyWatch>("f");
    EXPECT_TRUE(time->GetWatchState());
    EXPECT_EQ(analog->GetWatchType(), 1);
    EXPECT_EQ(frequency->GetWatchType(), 2);
    NStringList names;
    analog->GetParametersList(names);
    EXPECT_EQ(names, (NStringList{"WatchState", "StartTime", "StopTime", "CurrentOutIndex", "FirstOutIndex",
                                  "LastOutIndex", "WatchStep", "WatchInterval"}));
    EXPECT_FALSE(time->SetParameter("Amplitude", 1));
    EXPECT_EQ(LastCode(), 20u);
    EXPECT_EQ(GetLastErrorInfo(), "Amplitude");

    EXPECT_TRUE(time->SetParameter("WatchState", 0));
    EXPECT_FALSE(time->GetWatchState());
    EXPECT_TRUE(time->SetParameter("WatchState", 0.5));
    EXPECT_TRUE(time->GetWatchState());
}

TEST_F(OutGateTest, FutureStartSwitchesOffUntilItsStep) {
    auto* gate = Add<NTimeWatch>("t");
    Start();
    gate->SetStartTime(0.002);
    EXPECT_FALSE(gate->GetWatchState());
    Step(20);
    EXPECT_EQ(gate->GetDataSize(), 0u);
    Step();
    EXPECT_TRUE(gate->GetWatchState());
    EXPECT_EQ(static_cast<double>(gate->GetStartTime()), TimeOfStep(20));
    EXPECT_EQ(Xs(*gate), (std::vector<double>{TimeOfStep(20)}));
}

TEST_F(OutGateTest, StopTimeEndsRecordingAndKeepsTheData) {
    auto* gate = Add<NTimeWatch>("t");
    ASSERT_TRUE(gate->SetParameter("StopTime", 0.001));
    Start();
    Step(30);
    EXPECT_FALSE(gate->GetWatchState());
    const std::vector<double> x = Xs(*gate);
    ASSERT_FALSE(x.empty());
    EXPECT_EQ(x.back(), TimeOfStep(9));
}

TEST_F(OutGateTest, CopyParametersCopiesStateAndTimes) {
    auto* gate = Add<NTimeWatch>("t");
    gate->SetStopTime(2);
    gate->SetStartTime(3);  // a start after the stop clears the stop
    EXPECT_EQ(gate->GetStopTime(), 0);
    gate->SetStopTime(4);
    NFrequencyWatch frequency(&Model, "f");
    EXPECT_FALSE(gate->CopyParameters(&frequency));  // an out gate, but not a time watch
    EXPECT_EQ(LastCode(), 5u);
    EXPECT_FALSE(frequency.GetWatchState());  // the common part went over first
    EXPECT_EQ(frequency.GetStartTime(), 3);
    EXPECT_EQ(frequency.GetStopTime(), 4);
}

TEST_F(OutGateTest, InputCanBeReplacedButNotRemoved) {
    auto* gate = Add<NTimeWatch>("t");
    NSimpleConnector* input = gate->GetInput();
    EXPECT_FALSE(gate->CheckName("input"));
    EXPECT_FALSE(gate->DelComponent("input"));
    EXPECT_EQ(LastCode(), 3u);

    NTimeWatch other(&Model, "o");
    const int before = NBasicDescription::GetInstanceCount();
    EXPECT_FALSE(gate->AddComponent(new NSimpleConnector(&other, "foreign")));
    EXPECT_EQ(LastCode(), 14u);
    EXPECT_FALSE(gate->AddComponent(new NSimpleAConnector(gate, "analog")));
    EXPECT_EQ(LastCode(), 10u);
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), before);
    EXPECT_EQ(gate->GetInput(), input);

    // Offering the gate its own input again must not destroy it.
    EXPECT_TRUE(gate->SetInput(input));
    EXPECT_STREQ(gate->GetInput()->GetName(), "input");

    auto* replacement = new NSimpleConnector(gate, "input2");
    EXPECT_TRUE(gate->AddComponent(replacement));
    EXPECT_EQ(gate->GetInput(), replacement);
}

TEST_F(OutGateTest, ResetDropsAPulseStillInTheInput) {
    auto* generator = Add<NGenerator>("g");
    auto* gate = Add<NTimeWatch>("t");
    Link("g", "t.input");
    ASSERT_TRUE(generator->SetFrequency(10));
    Start();
    Step(3);  // a pulse is running through the input
    generator->SetStartTime(1);  // nothing more comes after the reset
    ResetActiveModel();
    Step(5);
    for (double v : Ys(*gate)) EXPECT_EQ(v, 0);
}

TEST_F(OutGateTest, IndexSettersKeepTheRange) {
    auto* gate = Add<NATimeWatch>("a");
    EXPECT_FALSE(gate->SetFirstOutIndex(2));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_TRUE(gate->SetLastOutIndex(3));
    EXPECT_TRUE(gate->SetFirstOutIndex(2));
    EXPECT_TRUE(gate->SetCurrentOutIndex(1));
    EXPECT_FALSE(gate->SetCurrentOutIndex(2));
    EXPECT_FALSE(gate->SetLastOutIndex(1));

    EXPECT_TRUE(gate->SetParameter("LastOutIndex", 5));
    EXPECT_TRUE(gate->SetParameter("FirstOutIndex", 2.9));
    EXPECT_EQ(gate->GetParameter("FirstOutIndex"), 2);
    EXPECT_FALSE(gate->SetParameter("CurrentOutIndex", -1));
    EXPECT_FALSE(gate->SetParameter("WatchStep", -1));
    // Values no index can hold are refused before any conversion.
    EXPECT_FALSE(gate->SetParameter("LastOutIndex", std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(gate->SetParameter("LastOutIndex", 1e12));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_EQ(gate->GetLastOutIndex(), 5u);
}

TEST_F(OutGateTest, NarrowedRangePullsCurrentChannelBackInside) {
    auto* gate = Add<NATimeWatch>("a");
    ASSERT_TRUE(gate->SetLastOutIndex(3));
    ASSERT_TRUE(gate->SetCurrentOutIndex(3));
    ASSERT_TRUE(gate->SetLastOutIndex(1));
    EXPECT_EQ(gate->GetCurrentOutIndex(), 1u);
    ASSERT_TRUE(gate->SetFirstOutIndex(1));
    EXPECT_EQ(gate->GetCurrentOutIndex(), 0u);
    Start();
    Step(3);
    // The Y positions address an existing list, as long as X.
    EXPECT_EQ(Ys(*gate).size(), 3u);
    EXPECT_EQ(Xs(*gate).size(), 3u);
}

TEST_F(OutGateTest, CopyParametersValidatesAgainstTheTarget) {
    auto* gate = Add<NATimeWatch>("a");
    ASSERT_TRUE(gate->SetLastOutIndex(5));
    ASSERT_TRUE(gate->SetFirstOutIndex(2));
    ASSERT_TRUE(gate->SetCurrentOutIndex(1));
    NATimeWatch target(&Model, "b");
    EXPECT_TRUE(gate->CopyParameters(&target));
    EXPECT_EQ(target.GetFirstOutIndex(), 0u);
    EXPECT_EQ(target.GetLastOutIndex(), 5u);
    EXPECT_EQ(target.GetCurrentOutIndex(), 0u);
    EXPECT_EQ(target.GetChannelListsCount(), 6u);
}

TEST_F(OutGateTest, SamplingCountdownRoundsUpToWholeSteps) {
    auto* gate = Add<NATimeWatch>("a");
    ASSERT_TRUE(gate->SetParameter("WatchStep", 0.00035));
    Start();
    Step(12);
    EXPECT_EQ(Xs(*gate), (std::vector<double>{0, TimeOfStep(4), TimeOfStep(8)}));
    ResetActiveModel();
    Step();
    EXPECT_EQ(gate->GetDataSize(), 1u);  // the countdown starts over: the first step samples
}

// The reset used to stamp the interrupted time as StartTime, so that the rerun differed.
TEST_F(OutGateTest, ModelResetClearsDataAndKeepsTheStartTimeSet) {
    auto* gate = Add<NTimeWatch>("t");
    Start();
    Step(50);
    ResetActiveModel();
    EXPECT_EQ(gate->GetDataSize(), 0u);
    EXPECT_EQ(static_cast<double>(gate->GetStartTime()), 0);
    EXPECT_EQ(GetCurrentTime(), 0);
    Step();
    EXPECT_EQ(gate->GetDataSize(), 1u);
}

} // namespace
} // namespace talvero::test
