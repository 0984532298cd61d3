#pragma once
// Generates the description text of the benchmark networks: N neurons, each with an excitatory
// and an inhibitory ion unit, K synapses per neuron from random presynaptic neurons (fixed seed),
// one 20 Hz pulse generator driving every tenth neuron and a time watch on every tenth neuron.

#include <cstdint>
#include <random>
#include <string>

namespace talvero::bench {

inline std::string GenerateBenchModel(int neurons, int synapsesPerNeuron, std::uint32_t seed = 20261209) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, neurons - 1);
    std::string text;
    text.reserve(static_cast<std::size_t>(neurons) * (synapsesPerNeuron * 60 + 200));
    // Appending, not "c" + ...: GCC 12 warns falsely about the prepending form (-Wrestrict).
    auto cell = [](int i) {
        std::string name = "c";
        name += std::to_string(i);
        return name;
    };

    text += "// generated benchmark network\n";
    text += "Model bench {\n";
    text += "Net net {\n";
    for (int i = 0; i < neurons; ++i) {
        text += "Neuron " + cell(i) + " {\n";
        std::string exc = "IonUnit exc {\nparameter MaxIntensity = 1;\n";
        std::string inh = "IonUnit inh {\nparameter MaxIntensity = -0.5;\n";
        for (int j = 0; j < synapsesPerNeuron; ++j) {
            // Three of four synapses excite, one inhibits.
            (j % 4 == 3 ? inh : exc) += "Synapse s" + std::to_string(j) + " { }\n";
        }
        if (i % 10 == 0) exc += "Synapse sg { }\n";
        text += exc + "}\n" + inh + "}\n}\n";
    }
    // Links within the net: presynaptic neuron -> synapse of the postsynaptic unit.
    for (int i = 0; i < neurons; ++i) {
        for (int j = 0; j < synapsesPerNeuron; ++j) {
            const int pre = pick(rng);
            text += "link " + cell(pre) + ":" + cell(i) + (j % 4 == 3 ? ".inh.s" : ".exc.s") + std::to_string(j) + ";\n";
        }
    }
    text += "}\n";
    text += "Generator drive {\nparameter Frequency = 20;\n}\n";
    for (int i = 0; i < neurons; i += 10) text += "TimeWatch w" + std::to_string(i) + " { }\n";
    for (int i = 0; i < neurons; i += 10) {
        text += "link drive:net." + cell(i) + ".exc.sg;\n";
        text += "link net." + cell(i) + ":w" + std::to_string(i) + ".input;\n";
    }
    text += "}\n";
    return text;
}

} // namespace talvero::bench
