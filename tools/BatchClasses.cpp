#include "tools/BatchClasses.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "environment/NBuiltinClasses.h"
#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"
#include "modeler/VIniFile.h"
#include "tools/BatchRun.h"

namespace talvero::batch {
namespace {

std::string Number(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

// The built-in class an object is an instance of, told by its dynamic type.
std::string ClassOf(NEnvironment& environment, NBasicDescription& object) {
    for (const auto& prototype : environment.GetClassRegistry())
        if (typeid(*prototype) == typeid(object)) return prototype->GetName();
    return "?";
}

// The two lines of the batch runner's errors and the location line.
int Failed(std::ostream& err) {
    const NError error = TakeLastError();
    err << "Ошибка " << error.GetCode() << " " << Cp1251ToUtf8(error.GetLevel()) << ": "
        << Cp1251ToUtf8(error.GetMessage()) << "\n[ " << KernelTextToUtf8(GetLastErrorInfo()) << " ]\n";
    const std::string location = FormatErrorLocation(GetLastErrorLocation());
    if (!location.empty()) err << KernelTextToUtf8(location) << "\n";
    return kExitModel;
}

std::string Or(const std::string& text, const char* otherwise) { return text.empty() ? otherwise : text; }

void DescribeClass(NEnvironment& environment, NBasicDescription& prototype, const std::string& parentLine,
                   std::ostream& out) {
    out << "### " << prototype.GetName() << "\n\n" << parentLine << "\n\n";
    NStringList components;
    prototype.GetComponentsList(components);
    if (components.empty()) {
        out << "Components: none.\n\n";
    } else {
        out << "Components:";
        for (std::size_t i = 0; i < components.size(); ++i) {
            NBasicDescription* component = prototype.GetComponent(components[i].c_str());
            out << (i ? ", " : " ") << "`" << components[i] << "` ("
                << (component ? ClassOf(environment, *component) : std::string("?")) << ")";
        }
        out << ".\n\n";
    }
    std::vector<NParameterInfo> parameters;
    prototype.DescribeParameters(parameters);
    if (parameters.empty()) {
        out << "Parameters: none.\n\n";
        return;
    }
    out << "| parameter | default | unit | admissible values |\n|---|---|---|---|\n";
    for (const NParameterInfo& p : parameters)
        out << "| `" << p.Name << "` | " << Number(prototype.GetParameter(p.Name.c_str())) << " | "
            << Or(p.Unit, "-") << " | " << Or(p.Admits, "any") << " |\n";
    out << "\n";
}

} // namespace

std::string ClassReference(NEnvironment& environment, const std::string& userParents) {
    std::ostringstream out;
    for (const auto& prototype : environment.GetClassRegistry()) {
        const NBasicDescription* owner = prototype->GetOwner();
        // A built-in class has no parent class; what matters is where its objects may stand.
        const std::string where = owner && owner != environment.GetModel() ? owner->GetName() : std::string("Model");
        DescribeClass(environment, *prototype, "Built-in; its objects stand in: " + where + ".", out);
    }
    // Read once: thousands of classes must not each scan all the lines.
    std::unordered_map<std::string, std::string> parentOf;
    std::istringstream parents(userParents);
    for (std::string line; std::getline(parents, line);) {
        std::istringstream fields(line);
        std::string name, parent;
        if (fields >> name >> parent) parentOf.try_emplace(name, parent);
    }
    for (const auto& prototype : environment.GetUserClasses()) {
        const auto it = parentOf.find(prototype->GetName());
        DescribeClass(environment, *prototype,
                      "User class; parent: " + (it == parentOf.end() ? std::string("?") : it->second) + ".", out);
    }
    return out.str();
}

int PrintClasses(const std::string& modelPath, std::ostream& out, std::ostream& err) {
    NEnvironment environment;
    RegisterBuiltinClasses(environment);
    std::string parents;
    if (!modelPath.empty()) {
        std::string binaryPath = modelPath;
        std::string compiled;
        const bool isSource = modelPath.size() > 3 && modelPath.compare(modelPath.size() - 3, 3, ".tv") == 0;
        if (modelPath.size() > 4 && modelPath.compare(modelPath.size() - 4, 4, ".tvp") == 0) {
            auto project = VIniFile::Open(modelPath);
            const std::string model = project ? project->ReadString("System", "ModelFileName", "") : std::string();
            if (model.empty()) {
                err << "talvero-batch: the project names no model file\n";
                return kExitModel;
            }
            binaryPath = std::filesystem::path(modelPath).parent_path().append(model).string();
        } else if (isSource) {
            std::error_code ec;
            std::string pattern = std::filesystem::temp_directory_path(ec).string() + "/talvero-classes-XXXXXX";
            const int fd = ec ? -1 : mkstemp(pattern.data());
            if (fd < 0) {
                err << "talvero-batch: cannot create a temporary file\n";
                return kExitModel;
            }
            ::close(fd);
            compiled = binaryPath = pattern;
            environment.SetDurableBinaryFiles(false);  // removed once read
        }
        bool ok = !isSource || environment.Compile(modelPath, binaryPath);
        // The parents are in the class headers; the prototypes do not keep them.
        NParserRecordList records;
        if (ok && environment.ReadBinaryFile(records, binaryPath))
            for (const auto& record : records)
                if (record->GetKind() == ParserKindClassHdr)
                    parents += record->GetName() + " " + record->GetArgument() + "\n";
        ok = ok && environment.LoadModel(binaryPath);
        if (!compiled.empty()) std::remove(compiled.c_str());
        if (!ok) return Failed(err);
    }
    out << Cp1251ToUtf8(ClassReference(environment, parents));
    return kExitOk;
}

} // namespace talvero::batch
