#pragma once
// Model texts several suites compute: the same model under the runner, the desktop program and
// the HDF5 writer, so their outputs can be compared.

namespace talvero::test_models {

// Every kind of watch; "late" starts recording (and clears its data) at 0.7 s.
inline constexpr const char* kArc =
    "Model m {\n"
    "Net n { Muscle mu { } Neuron c { IonUnit u { Synapse s { } } } }\n"
    "Generator g { parameter Frequency = 40; }\n"
    "TimeWatch late { parameter StartTime = 0.7; }\n"
    "TimeWatch cell { }\n"
    "ATimeWatch length { }\n"
    "FrequencyWatch rate { }\n"
    "link g:n.c.u.s; link n.c:n.mu.input; link g:late.input; link n.c:cell.input;\n"
    "link n.mu.length:length.input; link n.c:rate.input;\n"
    "}\n";

// An eye muscle whose time constant is far below the step: its length is no longer finite after
// a few hundred steps.
inline constexpr const char* kDivergingEyeMuscle =
    "Model eye {\n"
    "Net orbit { EyeMuscle rectus { parameter T1 = 0.0001; } }\n"
    "Generator burst { parameter Frequency = 50; }\n"
    "ATimeWatch length { }\n"
    "link burst:orbit.rectus.input;\n"
    "link orbit.rectus.length:length.input;\n"
    "}\n";

} // namespace talvero::test_models
