// The ion unit steps its synapses in one loop over a block of states, with quotients made ahead
// and shared between synapses. Here that loop runs in lockstep with the synapse formulas written
// the plain way, and every transmitter level and conductance must agree to the last bit.

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "elements/NIonUnit.h"
#include "elements/NNeuron.h"
#include "elements/NSynapse.h"
#include "kernel/NClock.h"

namespace talvero {
namespace {

// One synapse, computed the plain way.
struct PlainSynapse {
    NSynapseParameters P;
    double M = 0;
    double Out = 0;
    double Tau = P.DissociationTC;
    int N = 0;

    void Transfer() {
        N = PulseLengthInSteps();
        Tau = P.SecretionTC;
    }
    void Step(NTime dt) {
        if (N == 0 && M == 0) {
            Out = 0;
            return;
        }
        if (N == 0) {
            M = static_cast<double>(M - M / (Tau / dt + 0.5L));
        } else {
            NTime target = 1;
            if (N == 1) {
                Tau = P.DissociationTC;
                target = 0.5L;
            }
            M = static_cast<double>(M + (target - M) / (Tau / dt + 0.5L));
            --N;
        }
        if (P.K == 0 || P.Rs == 0) {
            Out = 0;
            return;
        }
        const double y = M / P.K;
        const double g = y >= 1 ? y / ((y - 1) * P.Ri + P.Rs) : y / P.Rs;
        Out = std::isfinite(g) ? g : 0.0;
    }
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class SynapseBlockTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetActiveModel(nullptr);
        SetTimeStep(0.0001);
        Unit = new NIonUnit(&Neuron, "u");
        ASSERT_TRUE(Neuron.AddIonUnit(Unit));
    }
    void TearDown() override { SetTimeStep(kDefaultTimeStep); }

    // Adds a synapse with these parameters and its plain twin.
    void AddPair(const NSynapseParameters& p) {
        std::string name = "s";
        name += std::to_string(Synapses.size());
        auto* s = new NSynapse(Unit, name.c_str());
        ASSERT_TRUE(Unit->AddSynapse(s));
        for (auto [name, value] : {std::pair{"SecretionTC", p.SecretionTC}, {"DissociationTC", p.DissociationTC},
                                   {"K", p.K}, {"Ri", p.Ri}, {"Rs", p.Rs}})
            ASSERT_TRUE(s->SetParameter(name, value)) << name;
        Synapses.push_back(s);
        Plain.push_back(PlainSynapse{p});
    }

    // Steps the unit and the twins `steps` times; synapse i gets a pulse in every step where
    // (step + 3 i) % period[i % periods] == 0.
    void Run(int steps, const std::vector<int>& periods) {
        for (int step = 0; step < steps; ++step, ++Step) {
            for (std::size_t i = 0; i < Synapses.size(); ++i)
                if ((Step + 3 * static_cast<int>(i)) % periods[i % periods.size()] == 0) {
                    Synapses[i]->Transfer();
                    Plain[i].Transfer();
                }
            Unit->Calculate();
            for (PlainSynapse& p : Plain) p.Step(GetTimeStep());
            for (std::size_t i = 0; i < Synapses.size(); ++i) {
                ASSERT_TRUE(SameBits(Synapses[i]->GetTransmitter(), Plain[i].M)) << "synapse " << i << " step " << Step;
                ASSERT_TRUE(SameBits(Synapses[i]->GetConductance(), Plain[i].Out)) << "synapse " << i << " step " << Step;
                ASSERT_EQ(Synapses[i]->GetCurrentTC(), Plain[i].Tau) << "synapse " << i << " step " << Step;
            }
        }
    }

    NNeuron Neuron{nullptr, "n"};
    NIonUnit* Unit = nullptr;
    std::vector<NSynapse*> Synapses;
    std::vector<PlainSynapse> Plain;
    int Step = 0;
};

TEST_F(SynapseBlockTest, EveryKindOfParametersStepsAsThePlainFormulas) {
    const NSynapseParameters defaults;
    std::vector<NSynapseParameters> kinds(7, defaults);
    kinds[1].K = 0.7;                                                 // no exact reciprocal
    kinds[2].K = std::numeric_limits<double>::denorm_min();          // a power of two without one
    kinds[3].K = 0;                                                   // conducts nothing
    kinds[4].Ri = 0;
    kinds[5].SecretionTC = 0.00037;
    kinds[5].DissociationTC = 1e306;                                 // D beyond the double range
    kinds[6].K = 4;
    for (int copy = 0; copy < 3; ++copy)
        for (const NSynapseParameters& p : kinds) AddPair(p);
    Unit->Reset();
    Run(3000, {7, 23, 61, 1000000});
}

// A unit whose synapses all share one set takes another road (constants read once, four
// conductances at a time): every kind of set, block sizes around the width of four, extreme levels.
class CommonSetTest : public SynapseBlockTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        SynapseBlockTest::SetUp();
        NSynapseBlock::UseBaselineInstructionsOnly(GetParam());
    }
    void TearDown() override {
        NSynapseBlock::UseBaselineInstructionsOnly(false);
        SynapseBlockTest::TearDown();
    }
};

INSTANTIATE_TEST_SUITE_P(WiderAndBaselineInstructions, CommonSetTest, ::testing::Bool());

TEST_P(CommonSetTest, UnitsOfOneParameterSetStepAsThePlainFormulas) {
    std::vector<NSynapseParameters> kinds(7);
    kinds[1].K = 0.7;
    kinds[2].K = 4;
    kinds[3].K = std::numeric_limits<double>::denorm_min();  // levels beyond 1 overflow to none
    kinds[4].Ri = 0;
    kinds[5].K = 1e-3;
    kinds[5].Ri = 1e300;
    kinds[6].K = 1e-300;  // conductances beyond the double range: none
    kinds[6].Ri = 0;
    kinds[6].Rs = 1e-10;
    for (const NSynapseParameters& p : kinds)
        for (int size : {1, 3, 4, 5, 8, 11}) {
            Unit->DelAllSynapses();
            Synapses.clear();
            Plain.clear();
            for (int i = 0; i < size; ++i) AddPair(p);
            Unit->Reset();
            Run(400, {3, 11, 29});
            if (HasFatalFailure()) return;
            const double levels[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                                     -0.0, 1e-310, 2.5};
            for (std::size_t i = 0; i < Synapses.size(); ++i) {
                const double state[3] = {0, p.DissociationTC, levels[i % std::size(levels)]};
                char buffer[sizeof state];
                std::memcpy(buffer, state, sizeof state);
                ASSERT_TRUE(Synapses[i]->LoadState(buffer));
                Plain[i].M = state[2];
                Plain[i].Tau = state[1];
            }
            Run(50, {1000000});
            if (HasFatalFailure()) return;
        }
}

TEST_F(SynapseBlockTest, ChangedTimeStepAndLoadedStateKeepTheBits) {
    for (int i = 0; i < 6; ++i) AddPair(NSynapseParameters{});
    Unit->Reset();
    Run(200, {9, 31});

    // A new time step without a model reset: the quotients follow it.
    ASSERT_TRUE(SetTimeStep(0.00003));
    Run(200, {9, 31});

    // A loaded state whose time constant is neither parameter keeps it until the next switch,
    // also in the middle of a pulse.
    for (std::size_t i = 0; i < Synapses.size(); ++i) {
        const double state[3] = {1e-9, 0.0042 + 0.0001 * static_cast<double>(i), 0.25};
        char buffer[sizeof state];
        std::memcpy(buffer, state, sizeof state);
        ASSERT_TRUE(Synapses[i]->LoadState(buffer));
        Plain[i].Out = state[0];
        Plain[i].Tau = state[1];
        Plain[i].M = state[2];
        EXPECT_EQ(Synapses[i]->GetCurrentTC(), state[1]);
    }
    Run(300, {13, 47});
}

TEST_F(SynapseBlockTest, SynapsesWithEqualParametersShareOneSetAndReleaseIt) {
    NSynapseConstantsTable& table = NSynapseConstantsTable::Instance();
    const std::size_t before = table.LiveCount();
    NSynapseParameters odd;
    odd.K = 0.123;
    for (int i = 0; i < 50; ++i) AddPair(odd);
    EXPECT_EQ(table.LiveCount(), before + 1);
    ASSERT_TRUE(Synapses[7]->SetParameter("Rs", 2e7));
    EXPECT_EQ(table.LiveCount(), before + 2);
    EXPECT_EQ(Synapses[7]->GetParameter("Rs"), 2e7);
    EXPECT_EQ(Synapses[8]->GetParameter("Rs"), 1e7);
    Unit->DelAllSynapses();
    Synapses.clear();
    EXPECT_EQ(table.LiveCount(), before);
}

// A synapse starts with a state of its own until its unit takes it: stepped there, with its
// parameters, a time step changed and a loaded time constant, it must keep every bit, and the
// constant sets it held must go back.
TEST_F(SynapseBlockTest, ASynapseNoUnitHasTakenYetStepsAsPlainAndKeepsItsStateWhenTaken) {
    NSynapseConstantsTable& table = NSynapseConstantsTable::Instance();
    const std::size_t before = table.LiveCount();
    NSynapseParameters p;
    p.K = 0.7;
    p.SecretionTC = 0.0007;
    auto* lone = new NSynapse(Unit, "lone");
    ASSERT_TRUE(lone->SetParameter("K", p.K));
    ASSERT_TRUE(lone->SetParameter("SecretionTC", p.SecretionTC));
    PlainSynapse plain{p};
    auto stepBoth = [&](int steps) {
        for (int step = 0; step < steps; ++step) {
            if (step % 17 == 0) {
                lone->Transfer();
                plain.Transfer();
            }
            lone->Calculate();
            plain.Step(GetTimeStep());
            ASSERT_TRUE(SameBits(lone->GetTransmitter(), plain.M)) << "step " << step;
            ASSERT_TRUE(SameBits(lone->GetConductance(), plain.Out)) << "step " << step;
        }
    };
    stepBoth(60);
    ASSERT_TRUE(SetTimeStep(0.00003));
    stepBoth(60);
    const double state[3] = {2e-9, 0.0042, 0.3};
    char buffer[sizeof state];
    std::memcpy(buffer, state, sizeof state);
    ASSERT_TRUE(lone->LoadState(buffer));
    plain.Out = state[0];
    plain.Tau = state[1];
    plain.M = state[2];
    EXPECT_EQ(lone->GetCurrentTC(), state[1]);
    EXPECT_EQ(table.LiveCount(), before + 1);  // only the set in force

    ASSERT_TRUE(Unit->AddSynapse(lone));
    EXPECT_EQ(lone->GetParameter("K"), p.K);
    EXPECT_EQ(lone->GetCurrentTC(), state[1]);
    EXPECT_TRUE(SameBits(lone->GetTransmitter(), state[2]));
    EXPECT_FALSE(Unit->AddSynapse(lone));  // once only
    Synapses.push_back(lone);
    Plain.push_back(plain);
    Run(100, {23});
    if (HasFatalFailure()) return;
    Unit->DelAllSynapses();
    Synapses.clear();
    EXPECT_EQ(table.LiveCount(), before);
}

} // namespace
} // namespace talvero
