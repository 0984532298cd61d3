#include "environment/NBuiltinClasses.h"

#include <cstring>

#include "elements/NAfferentNeuron.h"
#include "elements/NEyeMuscle.h"
#include "elements/NIonUnit.h"
#include "elements/NLTZone.h"
#include "elements/NMuscle.h"
#include "elements/NNerveFibre.h"
#include "elements/NNeuron.h"
#include "elements/NSimpleAConnector.h"
#include "elements/NSimpleAItem.h"
#include "elements/NSimpleConnector.h"
#include "elements/NSynapse.h"
#include "kernel/NNet.h"
#include "sources/NASinusGenerator.h"
#include "sources/NAStepGenerator.h"
#include "sources/NATimeWatch.h"
#include "sources/NFrequencyWatch.h"
#include "sources/NGenerator.h"
#include "sources/NTimeWatch.h"

namespace talvero {
namespace {

using NMakePrototype = NBasicDescription* (*)(NBasicDescription* owner, const char* name);

template <class T>
NBasicDescription* Make(NBasicDescription* owner, const char* name) {
    return new T(owner, name);
}

NBasicDescription* MakeSimpleAConnector(NBasicDescription* owner, const char* name) {
    return new NSimpleAConnector(owner, name, 1);
}

struct NBuiltinClass {
    const char* Name;
    const char* Owner;  // an earlier class of this table; null for the environment's model
    NMakePrototype Make;
};

// Registration order matters: lookups take the first prototype of a name, and owners come first.
constexpr NBuiltinClass kBuiltinClasses[] = {
    {"Net", nullptr, Make<NNet>},
    {"Neuron", "Net", Make<NNeuron>},
    {"NerveFibre", "Net", Make<NNerveFibre>},
    {"AfferentNeuron", "Net", Make<NAfferentNeuron>},
    {"LTZone", "Neuron", Make<NLTZone>},
    {"IonUnit", "Neuron", Make<NIonUnit>},
    {"Synapse", "IonUnit", Make<NSynapse>},
    {"SimpleConnector", "Neuron", Make<NSimpleConnector>},
    {"Generator", "Net", Make<NGenerator>},
    {"TimeWatch", "Net", Make<NTimeWatch>},
    {"FrequencyWatch", "Net", Make<NFrequencyWatch>},
    {"SimpleAConnector", "Neuron", MakeSimpleAConnector},
    {"SimpleAItem", "Net", Make<NSimpleAItem>},
    {"ASinusGenerator", "Net", Make<NASinusGenerator>},
    {"AStepGenerator", "Net", Make<NAStepGenerator>},
    {"ATimeWatch", "Net", Make<NATimeWatch>},
    {"Muscle", "Net", Make<NMuscle>},
    {"EyeMuscle", "Net", Make<NEyeMuscle>},
};

NBasicDescription* FindIn(const NPrototypeList& registry, const char* name) {
    for (const auto& prototype : registry)
        if (std::strcmp(prototype->GetName(), name) == 0) return prototype.get();
    return nullptr;
}

} // namespace

void RegisterBuiltinClasses(NEnvironment& environment) {
    NPrototypeList& registry = environment.GetClassRegistry();
    for (const NBuiltinClass& entry : kBuiltinClasses) {
        if (FindIn(registry, entry.Name)) continue;
        NBasicDescription* owner = entry.Owner ? FindIn(registry, entry.Owner) : environment.GetModel();
        registry.emplace_back(entry.Make(owner, entry.Name));
    }
}

NBasicDescription* MakeBuiltinPrototype(const std::string& className, NBasicDescription* owner) {
    for (const NBuiltinClass& entry : kBuiltinClasses)
        if (className == entry.Name) return entry.Make(owner, entry.Name);
    return nullptr;
}

std::vector<std::string> BuiltinClassNames() {
    std::vector<std::string> names;
    for (const NBuiltinClass& entry : kBuiltinClasses) names.emplace_back(entry.Name);
    return names;
}

} // namespace talvero
