// Every point of every out gate streamed to the project's results file while computing.

#include <string>
#include <vector>

#include "environment/NEnvironment.h"
#include "kernel/NAbstractOutGate.h"
#include "kernel/NModel.h"
#include "modeler/VModeler.h"
#include "modeler/VModelerText.h"
#include "results/GateHdf5File.h"

#ifndef TALVERO_PROGRAM_VERSION
#define TALVERO_PROGRAM_VERSION ""
#endif

namespace talvero {

using modeler_text::Cp;

std::string VModeler::RecordingFileName() const {
    const std::size_t dot = ProjectFileName.rfind('.');
    return (dot == std::string::npos || dot == 0 ? ProjectFileName : ProjectFileName.substr(0, dot)) + ".h5";
}

void VModeler::SetRecordingToFile(bool on) {
    if (on == RecordToFile) return;
    RecordToFile = on;
    Modified = true;
    // Switched on, it takes effect at the next start from the beginning: the points before now
    // have left the gates. Switched off, the file so far is kept.
    if (!on) FinishRecording();
}

void VModeler::BeginRecording() {
    FinishRecording();
    RecordingStatus.clear();
    RecordingFailure = false;
    NModel* model = Environment ? Environment->GetModel() : nullptr;
    if (!RecordToFile || !ProjectOpen || !model) return;
    std::vector<NAbstractOutGate*> gates;
    for (auto it = model->GetOutGatesBegin(); it != model->GetOutGatesEnd(); ++it) gates.push_back(it->get());
    const RunDescription run{ProjectDirectory + Environment->GetModelFileName(),
                             static_cast<double>(model->GetTimeStep()),
                             static_cast<double>(model->GetPulseDuration()),
                             0,
                             {},
                             TALVERO_PROGRAM_VERSION};
    auto file = std::make_unique<GateHdf5File>();
    std::string error;
    if (!file->Open(ProjectDirectory + RecordingFileName(), gates, run, error)) {
        RecordingFailed(error);
        return;
    }
    Recording = std::move(file);
    RecordedSteps = 0;
    RecordingStatus = Cp("запись: ") + RecordingFileName();
}

void VModeler::RecordTick() {
    if (!Recording) return;
    RecordedSteps += static_cast<long long>(TickSteps);
    NonFiniteWatch ignored;  // a value that is not finite stops the computation by itself
    std::string error;
    if (!Recording->Write(false, ignored, error)) RecordingFailed(error);
}

void VModeler::FinishRecording() {
    if (!Recording) return;
    NonFiniteWatch ignored;
    std::string error;
    if (!Recording->Write(true, ignored, error) || !Recording->SetSteps(RecordedSteps, error) ||
        !Recording->Commit(error)) {
        RecordingFailed(error);
        return;
    }
    Recording.reset();
    RecordingStatus = Cp("записано: ") + RecordingFileName();
}

// The computation goes on: what is in memory is still shown, and the status line says the file
// was not written.
void VModeler::RecordingFailed(const std::string& error) {
    Recording.reset();
    RecordingStatus = Cp("Файл результатов не записан: ") + error;
    RecordingFailure = true;
}

} // namespace talvero
