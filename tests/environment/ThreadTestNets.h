#pragma once
// Nets made to defeat a step on several threads: pulses that must reach their receivers within the
// step, in and against the net's order, through nested nets, fibres, a muscle and its afferent
// neuron; and random nets.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace talvero::test {

// A follower fires when its synapse "in" is hit; a pacemaker fires by itself.
inline const char* const kCells = R"(
class Pacemaker : Neuron {
  IonUnit drive { parameter MaxIntensity = 0.8; Synapse in { } }
}
class Follower : Neuron {
  IonUnit exc { }
  IonUnit inh { parameter MaxIntensity = -1; Synapse in { parameter DissociationTC = 0.01; } Synapse in2 { } }
}
)";

inline std::string Chain(int length, bool forward) {
    std::string text = kCells;
    text += "Model chain {\nNet n {\nPacemaker p { }\n";
    for (int k = 0; k < length; ++k) {
        const int i = forward ? k : length - 1 - k;
        text += "Follower f" + std::to_string(i) + " { }\n";
    }
    text += "link p:f0.inh.in;\n";
    for (int i = 1; i < length; ++i) text += "link f" + std::to_string(i - 1) + ":f" + std::to_string(i) + ".inh.in;\n";
    text += "}\nTimeWatch last { }\nlink n.f" + std::to_string(length - 1) + ":last.input;\n}\n";
    return text;
}

// A chain of neurons of no class of their own, with nothing else in the net: their turns are taken
// on all threads. A follower's zone and synapse are fast, so each pulse makes the next link fire a
// step later, and every pulse reaches its receiver after the receiver stepped ahead.
inline std::string PlainChain(int length) {
    const std::string follower =
        " { LTZone zone { parameter PT1 = 0.00001; parameter PT2 = 0.00001; } IonUnit exc { parameter MaxIntensity = 0.5; }"
        " IonUnit inh { parameter MaxIntensity = -0.5; Synapse in { parameter SecretionTC = 0.00001; parameter K = 1;"
        " parameter Rs = 1e5; } } }\n";
    std::string text = "Model plain {\nNet n {\nNeuron p { IonUnit drive { parameter MaxIntensity = 0.8; Synapse in { } } }\n";
    for (int i = 0; i < length; ++i) text += "Neuron f" + std::to_string(i) + follower;
    text += "link p:f0.inh.in;\n";
    for (int i = 1; i < length; ++i) text += "link f" + std::to_string(i - 1) + ":f" + std::to_string(i) + ".inh.in;\n";
    text += "}\nTimeWatch last { }\nlink n.f" + std::to_string(length - 1) + ":last.input;\n}\n";
    return text;
}

// Pulses cross nested nets, nerve fibres, a muscle and its afferent neuron, in and against the order.
inline const char* const kMixed = R"(
Model mixed {
  Net outer {
    Pacemaker p { }
    Follower a { }
    Net inner {
      Follower b { }
      NerveFibre fibre { parameter TimeDelay = 0.0001; }
      Follower c { }
      link b:fibre.input;
      link fibre:c.inh.in;
    }
    Follower d { }
    Muscle leg { }
    AfferentNeuron spindle { parameter Sensitivity = 5; }
    Follower e { }
    link p:a.inh.in;
    link a:inner.b.inh.in;
    link inner.c:d.inh.in;
    link d:leg.input;
    link leg.vereteno1:spindle.input;
    link spindle:e.inh.in;
    link e:a.inh.in2;
    link spindle:inner.b.inh.in2;
  }
  Generator drive { parameter Frequency = 50; }
  TimeWatch ep { }
  ATimeWatch length { }
  link drive:outer.p.drive.in;
  link outer.e:ep.input;
  link outer.leg.length:length.input;
}
)";

// Random nets: neurons of one to three units, synapses from anywhere, a nested net, fibres; or,
// `neuronsOnly`, neurons alone, whose turns are taken on all threads.
inline std::string RandomNet(std::uint32_t seed, int neurons, bool neuronsOnly = false) {
    std::mt19937 rng(seed);
    auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
    std::vector<std::string> items, synapses;
    std::string body;
    auto neuron = [&](const std::string& prefix, int i) {
        const std::string name = "c" + std::to_string(i);
        std::string text = "Neuron " + name + " {\n";
        const int units = 1 + static_cast<int>(rng() % 3);
        for (int u = 0; u < units; ++u) {
            const double intensity = chance(60) ? 0.5 + (rng() % 50) / 100.0 : -(0.3 + (rng() % 70) / 100.0);
            text += "IonUnit u" + std::to_string(u) + " { parameter MaxIntensity = " + std::to_string(intensity) + ";\n";
            const int count = static_cast<int>(rng() % 6);
            for (int s = 0; s < count; ++s) {
                text += "Synapse s" + std::to_string(s);
                text += chance(30) ? " { parameter DissociationTC = 0.002; }\n" : " { }\n";
                synapses.push_back(prefix + name + ".u" + std::to_string(u) + ".s" + std::to_string(s));
            }
            text += "}\n";
        }
        items.push_back(prefix + name);
        return text + "}\n";
    };
    std::string inner;
    for (int i = 0; i < neurons; ++i) {
        if (i % 7 == 3 && !neuronsOnly) {
            inner += neuron("inner.", i);
        } else {
            body += neuron("", i);
            if (chance(10) && !neuronsOnly) {
                const std::string fibre = "fb" + std::to_string(i);
                body += "NerveFibre " + fibre + " { parameter TimeDelay = 0.0002; }\n";
                body += "link " + items.back() + ":" + fibre + ".input;\n";
                items.push_back(fibre);
            }
        }
    }
    std::string text = "Model random {\nNet n {\n" + body;
    if (!inner.empty()) text += "Net inner {\n" + inner + "}\n";
    std::string modelLinks;
    for (const std::string& s : synapses) {
        if (chance(15)) modelLinks += "link drive:n." + s + ";\n";
        else text += "link " + items[rng() % items.size()] + ":" + s + ";\n";
    }
    text += "}\nGenerator drive { parameter Frequency = 80; }\nTimeWatch w { }\nTimeWatch v { }\n";
    text += modelLinks;
    text += "link n." + items[0] + ":w.input;\nlink n." + items.back() + ":v.input;\n}\n";
    return text;
}

} // namespace talvero::test
