// The second compilation stage: from the record list to user class prototypes and the model's
// object tree, every object a clone of the prototype of its class.

#include <algorithm>
#include <iterator>
#include <clocale>
#include <cstdlib>
#include <typeinfo>
#include <locale.h>

#include <unordered_map>

#include "environment/NBinaryModelFile.h"
#include "environment/NEnvironment.h"
#include "kernel/Cp1251.h"
#include "kernel/NAbstractItem.h"
#include "kernel/NParameterRefusal.h"
#include "kernel/NUnitDescription.h"

namespace talvero {
namespace {

// The type word that denotes the environment's own model rather than a class.
const std::string kModelType = "Model";

// strtod's reading of a value, but always with '.' as the decimal point: a user interface may
// have switched the process to a locale with a decimal comma.
double ValueOf(const std::string& text) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (cLocale) return strtod_l(text.c_str(), nullptr, cLocale);
    return std::strtod(text.c_str(), nullptr);
}

// The texts below are shown to the model's author beside the Russian messages: Russian too.
std::string Ru(const char* utf8) { return Utf8ToCp1251(utf8); }

std::string ClassObjectInfo(const NBasicDescription& object) { return Ru("класс/объект ") + object.FullName(); }
std::string OwnerInfo(const NBasicDescription* owner) { return owner ? ClassObjectInfo(*owner) : Ru("класс/объект"); }

// The links of a block, their names packed one after the other: a net's links are most of a
// model's records, and kept as records until the block closes they outweighed the net itself.
class NBlockLinks {
public:
    void Add(const NParserString& record) {
        if (typeid(record) == typeid(NParserLink)) {
            const auto& link = static_cast<const NParserLink&>(record);
            Add(link.ItemName(), link.ConnectorName(), record.GetFileLine());
        } else {
            Add(record.GetName(), record.GetArgument(), record.GetFileLine());
        }
    }
    // `source`: the file the links are read from, whose unread rest bounds the links to come.
    void Add(std::string_view item, std::string_view connector, std::uint32_t line,
             const NBinaryRecordReader* source = nullptr) {
        // A block of more than a few links makes room for all that can still come, once: the
        // names are not longer than their lines, and their number is what the rest of the file
        // holds in lines as long as the links so far.
        if (source && !Reserved && Links.TextBytes() >= kReserveFrom) {
            Reserved = true;
            const std::size_t lineBytes = (Links.TextBytes() + 2 * Links.size()) / Links.size();
            const std::size_t unread = source->UnreadBytes();
            Links.Reserve(unread, unread / lineBytes + 1);
        }
        Links.Add(item, connector);
        const std::size_t i = Links.size() - 1;
        if (Runs.empty() || line != Runs.back().Line + (i - Runs.back().First))
            Runs.push_back({i, line});
    }
    bool Empty() const { return Links.empty(); }
    std::size_t Size() const { return Links.size(); }
    std::string_view Item(std::size_t i) const { return Links[i].first; }
    std::string_view Connector(std::size_t i) const { return Links[i].second; }
    // Gives back the room the names and their places grew into, before the net makes the links
    // and needs room of its own: the largest moment of loading a large net.
    void Fit() {
        Links.Fit();
        Runs.shrink_to_fit();
    }
    // For the net to make: one that makes them all may keep the names, which leaves this empty.
    NPackedLinks&& Take() { return std::move(Links); }
    // The link as a record of its own line, to say where it stands.
    NParserLink Record(std::size_t i) const {
        NParserLink record{std::string(Item(i)), std::string(Connector(i))};
        const auto run = std::prev(std::upper_bound(Runs.begin(), Runs.end(), i,
                                                    [](std::size_t at, const NLineRun& r) { return at < r.First; }));
        record.SetFileLine(static_cast<std::uint32_t>(run->Line + (i - run->First)));
        return record;
    }

private:
    // The lines of the links, as runs of consecutive lines: a block's links stand one to a line,
    // and a line number per link took as much room as the links' places.
    struct NLineRun {
        std::size_t First;   // the first link of the run
        std::uint32_t Line;  // its line
    };

    static constexpr std::size_t kReserveFrom = 64 * 1024;

    NPackedLinks Links;
    std::vector<NLineRun> Runs;
    bool Reserved = false;
};

// The first link of a block that was not made (the block's count when all were), and why: an end
// not found, an end of the wrong kind, or a connection the item refused.
std::size_t FindFailedLink(NBasicDescription& object, NAbstractNet& net, const NBlockLinks& links, std::string& reason) {
    NLinksMap made;
    net.GetLinks(made);
    for (std::size_t i = 0; i < links.Size(); ++i) {
        const std::string first(links.Item(i));
        const std::string second(links.Connector(i));
        const std::string link = "link " + first + ":" + second + " - ";
        NBasicDescription* item = object.GetComponent(first.c_str());
        NBasicDescription* connector = object.GetComponent(second.c_str());
        if (!item) reason = link + Ru("первый конец '") + first + Ru("' не найден");
        else if (!dynamic_cast<NAbstractItem*>(item)) reason = link + Ru("первый конец '") + first + Ru("' не является выходом");
        else if (!connector) reason = link + Ru("второй конец '") + second + Ru("' не найден");
        else if (!dynamic_cast<NAbstractConnector*>(connector))
            reason = link + Ru("второй конец '") + second + Ru("' не является входом");
        else {
            bool recorded = false;
            for (auto [it, last] = made.equal_range(first); it != last && !recorded; ++it) recorded = it->second == second;
            if (recorded) continue;
            reason = link + "'" + first + Ru("' не принял связь с '") + second + "'";
        }
        return i;
    }
    return links.Size();
}

// "FILE:LINE" of a location, for naming the other declaration in a detail.
std::string Where(const NErrorLocation& location) {
    if (!location.IsKnown()) return std::string();
    return location.File + ":" + std::to_string(location.Line) +
           (location.Column > 0 ? ":" + std::to_string(location.Column) : std::string());
}

// The declaration before `header` in the same block with the same name; null when it stands
// elsewhere (a top-level object against one in the Model block, a fixed component).
const NParserString* EarlierSibling(const NParserRecordList& records, NParserRecordPosition header,
                                    const std::string& name) {
    int depth = 0;  // block closes passed that belong to siblings' blocks or their contents
    for (auto it = header; it != records.begin();) {
        --it;
        const NParserString& record = **it;
        if (record.GetKind() == ParserKindBlockClose) {
            ++depth;
        } else if (record.GetKind() == ParserKindObjectHdr || record.GetKind() == ParserKindClassHdr) {
            if (depth == 0) return nullptr;  // the owner's own header
            if (--depth == 0 && record.GetKind() == ParserKindObjectHdr && record.GetName() == name) return &record;
        }
    }
    return nullptr;
}

std::size_t LiveObjects() { return static_cast<std::size_t>(std::max(0, NBasicDescription::GetInstanceCount())); }

} // namespace

NBasicDescription* NEnvironment::FindPrototype(const std::string& className) const {
    // Asked for every object built: names of another length are passed over without reading them.
    for (const auto& prototype : ClassRegistry)
        if (className == prototype->NameView()) return prototype.get();
    // Descriptions may declare many classes: the first of each name is indexed. The list is open
    // to the owner, so an index entry is trusted only while the list still holds it there.
    auto it = UserClassIndex.find(className);
    if (it != UserClassIndex.end() && it->second.Position < UserClasses.size() &&
        UserClasses[it->second.Position].get() == it->second.Prototype)
        return it->second.Prototype;
    for (const auto& prototype : UserClasses)
        if (className == prototype->NameView()) return prototype.get();
    return nullptr;
}

NEnvironment::NShape NEnvironment::ShapeOf(const NBasicDescription* prototype) const {
    auto it = UserClassShapes.find(prototype);
    if (it != UserClassShapes.end()) return it->second;
    // A built-in prototype: an element with at most its fixed components.
    return NShape{1, 2};
}

void NEnvironment::Dispose(NBasicDescription* object) {
    if (object != Model.get()) delete object;
}

void NEnvironment::DeleteUserClasses() {
    UserClasses.clear();
    UserClassShapes.clear();
    UserClassIndex.clear();
}

bool NEnvironment::BuildObject(const NParserRecordList& records, NParserRecordPosition position,
                               NBasicDescription* owner, NBasicDescription*& object, NParserRecordPosition& end) {
    object = nullptr;
    if (position == records.end()) return ReportError(300);
    NShape shape;
    return Build(records, nullptr, position, owner, 0, 1, object, end, shape);
}

bool NEnvironment::Build(const NParserRecordList& records, NParserRecordList* consumed, NParserRecordPosition position,
                         NBasicDescription* owner, std::uint32_t ownerLine, int depth, NBasicDescription*& object, NParserRecordPosition& end, NShape& shape) {
    object = nullptr;
    const NParserString& header = **position;
    const std::string type = header.GetArgument();
    const std::string name = header.GetName();
    const int instancesBefore = NBasicDescription::GetInstanceCount();
    int height = 1;

    if (type == kModelType) {
        // Only a top-level declaration may stand for the model: nested, the model would become
        // a component of itself or of one of its own objects.
        if (depth > 1) return FailAt(401, type, header, type);
        object = Model.get();
        object->SetName(name.c_str());
    } else if (NBasicDescription* prototype = FindPrototype(type)) {
        const NShape needed = ShapeOf(prototype);
        // Not a damaged file but a description beyond what one build may hold: 403, saying which bound.
        if (depth + needed.Height - 1 > MaxNestingDepth)
            return FailAt(403, OwnerInfo(owner) + Ru(", компонент ") + name + Ru(" (вложенность глубже ") +
                                   std::to_string(MaxNestingDepth) + Ru(" уровней)"),
                          header, name);
        if (LiveObjects() + needed.Objects > MaxLiveObjects)
            return FailAt(403, OwnerInfo(owner) + Ru(", компонент ") + name + Ru(" (объектов больше ") +
                                   std::to_string(MaxLiveObjects) + ")",
                          header, name);
        object = prototype->Clone(owner, name.c_str());
        // Not a missing type: the owner already holds that name.
        if (!object && PeekLastErrorCode() == 2) {
            std::string information = OwnerInfo(owner) + Ru(": имя ") + name + Ru(" уже занято");
            std::string where;
            if (const NParserString* first = EarlierSibling(records, position, name)) {
                where = Where(LocateRecord(*first, name));
            } else if (std::uint32_t line = EarlierSiblingLine(ownerLine, header.GetFileLine(), name)) {
                where = Where(LocateLine(line, std::string(), name));
            }
            if (!where.empty()) information += Ru(" объявлением в ") + where;
            return FailAt(403, information, header, name);
        }
        height = needed.Height;
    }
    if (!object) return FailAt(401, type, header, type);

    auto fail = [&](std::uint32_t code, const std::string& information, const NParserString& at,
                    const std::string& word) {
        Dispose(object);
        object = nullptr;
        return FailAt(code, information, at, word);
    };

    // Looked up at the first link: most objects have none, and a failing cast is not cheap.
    NAbstractNet* net = nullptr;
    NBlockLinks links;
    for (;;) {
        // A block that is never closed: the list ends inside it.
        if (!Advance(records, position)) return fail(300, name, header, name);
        const NParserString& record = **position;
        switch (record.GetKind()) {
        case ParserKindParameter: {
            const std::string parameter = record.GetName();
            const double value = ValueOf(record.GetArgument());
            if (!object->SetParameter(parameter.c_str(), value)) {
                const std::uint32_t code = PeekLastErrorCode() == 20 ? 20 : 21;
                return fail(402, Ru("класс/объект ") + DescribeParameterRefusal(*object, parameter, value, code), record,
                            parameter);
            }
            break;
        }
        case ParserKindObjectHdr: {
            NBasicDescription* child = nullptr;
            NParserRecordPosition childEnd;
            NShape childShape;
            if (!Build(records, consumed, position, object, header.GetFileLine(), depth + 1, child, childEnd, childShape)) {
                Dispose(object);
                object = nullptr;
                return false;
            }
            // The container may destroy a refused child: take its name first.
            const std::string childName = child->GetName();
            if (!object->AddComponent(child)) {
                // A model refuses a second net without destroying it.
                if (PeekLastErrorCode() == 40) delete child;
                const std::string reason = GetLastErrorInfo();
                return fail(403, ClassObjectInfo(*object) + Ru(", компонент ") + childName + " (" + reason + ")", **position,
                            childName);
            }
            height = std::max(height, childShape.Height + 1);
            // The header's predecessor is a record of this block (or its header), which stays.
            if (consumed) position = std::prev(Drop(*consumed, position, std::next(childEnd)));
            else position = childEnd;
            break;
        }
        case ParserKindLink:
            if (!net) net = dynamic_cast<NAbstractNet*>(object);
            if (!net) return fail(404, object->FullName(), record, "link " + record.GetName() + ":" + record.GetArgument());
            links.Add(record);
            // Fed from the file, the list gives up each link as soon as it is noted, and the links
            // that follow are noted straight from the file.
            if (Feeding(records)) {
                position = std::prev(Drop(*FedList, position, std::next(position)));
                if (std::next(position) == FedList->end())
                    Feed->TakeLinks([&links, this](std::string_view item, std::string_view connector, std::uint32_t line) {
                        links.Add(item, connector, line, Feed);
                    });
            }
            break;
        case ParserKindBlockClose: {
            end = position;
            object->ComponentsComplete();
            if (!links.Empty()) links.Fit();
            if (!links.Empty() && !net->SetLinks(links.Take())) {
                std::string reason;
                const std::size_t failed = FindFailedLink(*object, *net, links, reason);
                const std::string information = object->FullName() + (failed < links.Size() ? ": " + reason : std::string());
                if (failed == links.Size()) return fail(414, information, record, "}");
                const NParserLink at = links.Record(failed);
                return fail(414, information, at, "link " + at.GetName() + ":" + at.GetArgument());
            }
            shape.Objects = static_cast<std::size_t>(std::max(0, NBasicDescription::GetInstanceCount() - instancesBefore));
            shape.Height = height;
            return true;
        }
        default:
            break;
        }
    }
}

bool NEnvironment::BuildClasses(NParserRecordList& records) {
    // Where each user class was declared: its header is gone from the list once it is built.
    struct NDeclaration {
        std::uint32_t Line;
        std::string Text;
    };
    std::unordered_map<std::string, NDeclaration> declared;
    for (auto position = records.begin(); position != records.end(); ++position) {
        if ((*position)->GetKind() != ParserKindClassHdr) continue;
        const std::string parent = (*position)->GetArgument();
        const std::string className = (*position)->GetName();
        // A second class of a name would never be found, and one named like a built-in class
        // would shadow nothing: both are mistakes, not redefinitions.
        // FindPrototype would scan every user class for a new name.
        const bool builtIn = className == kModelType ||
                             std::any_of(ClassRegistry.begin(), ClassRegistry.end(),
                                         [&](const auto& prototype) { return className == prototype->GetName(); });
        if (builtIn || declared.count(className)) {
            DeleteUserClasses();
            std::string information = Ru("класс ") + className + Ru(" уже есть: ");
            auto earlier = declared.find(className);
            const std::string where =
                earlier == declared.end() ? std::string() : Where(LocateLine(earlier->second.Line, earlier->second.Text, className));
            if (!where.empty())
                information += Ru("объявлен в ") + where;
            else
                information += Utf8ToCp1251(earlier != declared.end() ? "объявлен выше" : "встроенный класс");
            return FailAt(403, information, **position, className);
        }
        declared.emplace(className, NDeclaration{(*position)->GetFileLine(), RecordLine(**position)});
        // A class of the model would make the environment's own model a prototype.
        NBasicDescription* parentPrototype = parent == kModelType ? nullptr : FindPrototype(parent);
        if (!parentPrototype) {
            DeleteUserClasses();
            return FailAt(401, parent, **position, parent);
        }
        NBasicDescription* prototype = nullptr;
        NParserRecordPosition end;
        NShape shape;
        if (!Build(records, &records, position, parentPrototype->GetOwner(), 0, 1, prototype, end, shape)) {
            DeleteUserClasses();
            return false;
        }
        UserClasses.emplace_back(prototype);
        UserClassShapes[prototype] = shape;
        UserClassIndex.try_emplace(prototype->GetName(), NUserClassEntry{UserClasses.size() - 1, prototype});
        position = records.erase(position, end);
    }
    return true;
}

bool NEnvironment::BuildObjects(NParserRecordList& records) {
    auto failed = [&] {
        Model->DelAllComponents();
        DeleteUserClasses();
        return false;
    };
    // Builds the top-level declaration at `position`; `position` becomes its block close.
    auto build = [&](NParserRecordPosition& position) {
        NBasicDescription* object = nullptr;
        NParserRecordPosition end;
        NShape shape;
        if (!Build(records, &records, position, Model.get(), 0, 1, object, end, shape)) return false;
        // A top-level object of another type than Model goes into the model like one declared
        // in its block, so that it is neither lost nor silently dropped.
        if (object != Model.get()) {
            const std::string name = object->GetName();
            if (!Model->AddComponent(object)) {
                if (PeekLastErrorCode() == 40) delete object;
                const std::string reason = GetLastErrorInfo();
                FailAt(403, ClassObjectInfo(*Model) + Ru(", компонент ") + name + " (" + reason + ")", **position, name);
                return false;
            }
        }
        position = end;
        return true;
    };
    if (Feeding(records)) {
        // Read as it is built: what a declaration leaves in the list goes before the next is read.
        while (std::unique_ptr<NParserString> record = Feed->Next(false)) {
            Drop(records, records.begin(), records.end());
            Append(std::move(record));
            auto position = records.begin();
            if ((*position)->GetKind() == ParserKindObjectHdr && !build(position)) return failed();
        }
        records.clear();
        return true;
    }
    for (auto position = records.begin(); position != records.end(); ++position) {
        if ((*position)->GetKind() != ParserKindObjectHdr) continue;
        if (!build(position)) return failed();
    }
    return true;
}

} // namespace talvero
