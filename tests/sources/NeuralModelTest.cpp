// A neural model built in code: a generator drives a neuron's synapse, and both pulse watches
// observe the neuron. The watches must agree with the neuron and with each other.

#include "SourcesTestSupport.h"
#include "elements/NNeuron.h"
#include "kernel/NNet.h"
#include "sources/NFrequencyWatch.h"
#include "sources/NGenerator.h"
#include "sources/NTimeWatch.h"

namespace talvero::test {
namespace {

using NeuralModelTest = ModelTest;

TEST_F(NeuralModelTest, WatchesAgreeWithTheNeuronTheyObserve) {
    auto* generator = Add<NGenerator>("g");
    auto* net = Add<NNet>("net");
    auto* neuron = new NNeuron(net, "n");
    ASSERT_TRUE(net->AddComponent(neuron));
    auto* unit = new NIonUnit(neuron, "u");
    ASSERT_TRUE(neuron->AddIonUnit(unit));
    ASSERT_TRUE(unit->AddSynapse(new NSynapse(unit, "s")));
    auto* time = Add<NTimeWatch>("t");
    auto* frequency = Add<NFrequencyWatch>("f");
    Link("g", "net.n.u.s");
    Link("net.n", "t.input");
    Link("net.n", "f.input");
    ASSERT_TRUE(generator->SetFrequency(50));
    Start();

    // A rise of the neuron's output is an emission; the watches see it in the same step.
    std::vector<double> emissions;
    bool wasPulse = false;
    for (int k = 0; k < 20000; ++k) {
        Step();
        const bool pulse = neuron->IsPulse();
        if (pulse && !wasPulse) emissions.push_back(TimeOfStep(k));
        wasPulse = pulse;
    }
    ASSERT_GE(emissions.size(), 20u);
    EXPECT_EQ(PulseStarts(*time), emissions);
    EXPECT_LE(time->GetDataSize(), 2 * 2 * emissions.size() + 3);

    // Every interval between two emissions counted once, into a bin near its frequency.
    EXPECT_EQ(frequency->GetIntervalsCount(), emissions.size() - 1);
    double lowest = 1e9, highest = 0, sum = 0;
    for (std::size_t i = 1; i < emissions.size(); ++i) {
        const double f = 1 / (emissions[i] - emissions[i - 1]);
        lowest = std::min(lowest, f);
        highest = std::max(highest, f);
    }
    const std::vector<double> bins = Xs(*frequency), fractions = Ys(*frequency);
    for (std::size_t i = 0; i < bins.size(); ++i) {
        sum += fractions[i];
        if (fractions[i] > 0) {
            EXPECT_GE(bins[i], lowest - 1);
            EXPECT_LE(bins[i], highest);
        }
    }
    EXPECT_DOUBLE_EQ(sum, 1);
}

} // namespace
} // namespace talvero::test
