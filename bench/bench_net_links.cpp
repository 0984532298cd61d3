// A large net built the way the model builder builds one (Clone of a prototype, AddComponent),
// then linked by name with CreateLink: 20,000 objects and 200,000 links.

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kernel/NAbstractItem.h"
#include "kernel/NNet.h"
#include "kernel/NUnitDescription.h"

namespace {

using namespace talvero;

constexpr int kObjects = 20000;
constexpr int kPorts = 10;
constexpr int kLinks = kObjects * kPorts;  // every port is driven by exactly one item

// Pulse connector without parameters, components or state.
class BenchPort : public NConnector {
public:
    BenchPort(NBasicDescription* owner, const char* name) : NConnector(owner, name, 1) {}

    bool CheckName(const char*) override { return true; }
    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NBasicDescription>(owner, name)) return nullptr;
        return new BenchPort(owner, name);
    }
    NBasicDescription* GetComponent(const char* name) override {
        ReportError(3, name);
        return nullptr;
    }
    bool AddComponent(NBasicDescription* component) override {
        delete component;
        return ReportError(10);
    }
    bool DelComponent(const char* name) override { return ReportError(3, name); }
    void GetComponentsList(NStringList&) override {}
    bool CopyComponents(NBasicDescription*) override { return true; }
    double GetParameter(const char* name) override {
        ReportError(20, name);
        return 0;
    }
    bool SetParameter(const char* name, double) override { return ReportError(20, name); }
    void GetParametersList(NStringList&) override {}
    bool CopyParameters(NBasicDescription*) override { return true; }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Calculate() override {
        if (PulseCounter > 0) --PulseCounter;
    }
};

// Pulse item owning named ports "p0".."p9".
class BenchCell : public NItem {
public:
    BenchCell(NBasicDescription* owner, const char* name) : NAbstractItem(owner, name), NItem(owner, name) {}

    static BenchCell* Prototype() {
        auto* cell = new BenchCell(nullptr, "BenchCell");
        for (int i = 0; i < kPorts; ++i) {
            std::string name = "p";
            name += std::to_string(i);
            cell->AddComponent(new BenchPort(cell, name.c_str()));
        }
        return cell;
    }

    bool CheckName(const char* name) override { return name && *name && !Find(name); }
    NBasicDescription* New(NBasicDescription* owner, const char* name) override {
        if (!CheckNewOwner<NObject>(owner, name)) return nullptr;
        return new BenchCell(owner, name);
    }
    NBasicDescription* GetComponent(const char* name) override {
        if (!name || !*name) {
            ReportError(1);
            return nullptr;
        }
        if (BenchPort* port = Find(name)) return port;
        ReportError(3, name);
        return nullptr;
    }
    bool AddComponent(NBasicDescription* component) override {
        auto* port = dynamic_cast<BenchPort*>(component);
        if (!port || port->GetOwner() != this) {
            delete component;
            return ReportError(10);
        }
        Ports.emplace_back(port);
        return true;
    }
    bool DelComponent(const char* name) override { return ReportError(3, name); }
    void GetComponentsList(NStringList& names) override {
        for (const auto& p : Ports) names.emplace_back(p->GetName());
    }
    bool CopyComponents(NBasicDescription* target) override {
        auto* cell = dynamic_cast<BenchCell*>(target);
        if (!cell) return ReportError(5);
        for (const auto& p : Ports)
            if (NBasicDescription* copy = p->Clone(cell, p->GetName())) cell->AddComponent(copy);
        return true;
    }
    double GetParameter(const char* name) override {
        ReportError(20, name);
        return 0;
    }
    bool SetParameter(const char* name, double) override { return ReportError(20, name); }
    void GetParametersList(NStringList&) override {}
    bool CopyParameters(NBasicDescription*) override { return true; }
    int GetStateSize() override { return 0; }
    char* SaveState(char* buffer) override { return buffer; }
    bool LoadState(const char*) override { return true; }
    void Reset() override {}
    void Calculate() override {
        for (const auto& p : Ports) p->Calculate();
    }
    bool IsPulse() override { return false; }

private:
    BenchPort* Find(const char* name) const {
        for (const auto& p : Ports)
            if (std::strcmp(p->GetName(), name) == 0) return p.get();
        return nullptr;
    }

    std::vector<std::unique_ptr<BenchPort>> Ports;
};

struct Names {
    std::vector<std::string> Objects;
    std::vector<std::pair<std::string, std::string>> Links;  // item, dotted connector

    Names() {
        for (int i = 0; i < kObjects; ++i) Objects.push_back("cell" + std::to_string(i));
        // Port p of object t is driven by an item spread over the whole net.
        for (int l = 0; l < kLinks; ++l) {
            const int target = l % kObjects;
            const int port = l / kObjects;
            const int item = (target * 7919 + port * 104729 + 1) % kObjects;
            Links.emplace_back(Objects[item], Objects[target] + ".p" + std::to_string(port));
        }
    }
};

const Names& AllNames() {
    static const Names names;
    return names;
}

std::unique_ptr<NNet> BuildNet(BenchCell& prototype) {
    auto net = std::make_unique<NNet>(nullptr, "net");
    for (const std::string& name : AllNames().Objects) net->AddComponent(prototype.Clone(net.get(), name.c_str()));
    return net;
}

bool LinkNet(NNet& net) {
    for (const auto& [item, connector] : AllNames().Links)
        if (!net.CreateLink(item.c_str(), connector.c_str())) return false;
    return true;
}

void BM_BuildNetAndLinkByName(benchmark::State& state) {
    std::unique_ptr<BenchCell> prototype(BenchCell::Prototype());
    AllNames();
    for (auto _ : state) {
        std::unique_ptr<NNet> net = BuildNet(*prototype);
        if (net->GetObjectsCount() != kObjects || !LinkNet(*net)) {
            state.SkipWithError("the net was not built or linked completely");
            break;
        }
        state.PauseTiming();
        net.reset();
        state.ResumeTiming();
    }
    state.counters["objects"] = kObjects;
    state.counters["links"] = kLinks;
}
BENCHMARK(BM_BuildNetAndLinkByName)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LinkByNameOnly(benchmark::State& state) {
    std::unique_ptr<BenchCell> prototype(BenchCell::Prototype());
    AllNames();
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<NNet> net = BuildNet(*prototype);
        state.ResumeTiming();
        if (!LinkNet(*net)) {
            state.SkipWithError("a link was refused");
            break;
        }
        state.PauseTiming();
        net.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LinkByNameOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DestroyLinkedNet(benchmark::State& state) {
    std::unique_ptr<BenchCell> prototype(BenchCell::Prototype());
    AllNames();
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<NNet> net = BuildNet(*prototype);
        LinkNet(*net);
        state.ResumeTiming();
        net.reset();
    }
}
BENCHMARK(BM_DestroyLinkedNet)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
