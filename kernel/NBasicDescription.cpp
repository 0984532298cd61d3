#include "kernel/NBasicDescription.h"

#include "kernel/NSplitStep.h"

#include <cstdio>
#include <cstring>

namespace talvero {
namespace {

int InstanceCount = 0;
char* SharedNameBuffer = nullptr;

char* RenewSharedBuffer(int length) {
    delete[] SharedNameBuffer;
    SharedNameBuffer = new char[static_cast<std::size_t>(length) + 1];
    SharedNameBuffer[0] = '\0';
    return SharedNameBuffer;
}

} // namespace

NBasicDescription::NBasicDescription(NBasicDescription* owner, const char* name)
    : Owner(owner), Name(name) {
    if (++InstanceCount == 1) RegisterKernelErrors();
}

NBasicDescription::~NBasicDescription() {
    NoteStructureChange();
    if (--InstanceCount == 0) {
        delete[] SharedNameBuffer;
        SharedNameBuffer = nullptr;
    }
}

int NBasicDescription::GetInstanceCount() { return InstanceCount; }

NBasicDescription* NBasicDescription::GetOwner() const { return Owner; }

const char* NBasicDescription::GetName() const { return Name.c_str(); }

int NBasicDescription::GetFullNameLength() const {
    const int own = static_cast<int>(Name.size());
    return Owner ? Owner->GetFullNameLength() + 1 + own : own;
}

char* NBasicDescription::GetFullName(char* buffer) const {
    if (!buffer) buffer = RenewSharedBuffer(GetFullNameLength());
    if (Owner) {
        Owner->GetFullName(buffer);
        const std::size_t len = std::strlen(buffer);
        buffer[len] = kNameSeparator;
        std::memcpy(buffer + len + 1, Name.c_str(), Name.size() + 1);
    } else {
        std::memcpy(buffer, Name.c_str(), Name.size() + 1);
    }
    return buffer;
}

int NBasicDescription::GetRelativeNameLength(const NBasicDescription* ancestor) const {
    const int own = static_cast<int>(Name.size());
    if (ancestor == Owner) return own;
    if (!Owner) return 0;
    const int up = Owner->GetRelativeNameLength(ancestor);
    return up == 0 ? 0 : up + 1 + own;
}

char* NBasicDescription::GetRelativeName(const NBasicDescription* ancestor, char* buffer) const {
    if (!Owner && ancestor) return nullptr;
    if (!buffer) buffer = RenewSharedBuffer(GetRelativeNameLength(ancestor));
    if (ancestor == Owner) {
        std::memcpy(buffer, Name.c_str(), Name.size() + 1);
        return buffer;
    }
    if (!Owner->GetRelativeName(ancestor, buffer)) return nullptr;
    const std::size_t len = std::strlen(buffer);
    buffer[len] = kNameSeparator;
    std::memcpy(buffer + len + 1, Name.c_str(), Name.size() + 1);
    return buffer;
}

std::string NBasicDescription::FullName() const {
    std::vector<char> buffer(static_cast<std::size_t>(GetFullNameLength()) + 1);
    GetFullName(buffer.data());
    return std::string(buffer.data());
}

std::string NBasicDescription::RelativeName(const NBasicDescription* ancestor) const {
    std::vector<char> buffer(static_cast<std::size_t>(GetRelativeNameLength(ancestor)) + 1);
    const char* result = GetRelativeName(ancestor, buffer.data());
    return result ? std::string(result) : std::string();
}

bool NBasicDescription::SetName(const char* name) {
    if (!name || !*name) return ReportError(1, name ? name : "");
    if (Owner && !Owner->CheckName(name)) return ReportError(2, name);
    std::string old(Name.view());
    Name.assign(name);
    if (Owner) Owner->ComponentRenamed(this, old);
    return true;
}

char* NBasicDescription::GenerateName(char* buffer) {
    if (!buffer) return nullptr;
    // Without an owner every name is free: the first one is taken.
    for (int i = 1;; ++i) {
        std::sprintf(buffer, "n%d", i);
        if (!Owner || Owner->CheckName(buffer)) return buffer;
    }
}

NBasicDescription* NBasicDescription::Clone(NBasicDescription* owner, const char* name) {
    NBasicDescription* copy = New(owner, name);
    if (!copy) return nullptr;
    CopyComponents(copy);
    CopyParameters(copy);
    return copy;
}

bool NBasicDescription::ForEachComponent(const std::function<bool(NBasicDescription*)>& visit) {
    NStringList names;
    GetComponentsList(names);
    for (const std::string& name : names)
        if (NBasicDescription* component = GetComponent(name.c_str()); component && !visit(component)) return false;
    return true;
}

void NBasicDescription::ComponentRenamed(NBasicDescription*, const std::string&) {}

void NBasicDescription::DescribeParameters(std::vector<NParameterInfo>& parameters) {
    NStringList names;
    GetParametersList(names);
    for (std::string& name : names) parameters.push_back(NParameterInfo{std::move(name), "", ""});
}

} // namespace talvero
