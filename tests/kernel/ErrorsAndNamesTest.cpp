// Last error, the kernel error table, names and the shared name buffer, New/Clone and parameters.

#include <cmath>
#include <cstring>

#include "TestElements.h"
#include "kernel/Cp1251.h"

namespace talvero::test {
namespace {

class ErrorsTest : public KernelTest {};
class NamesTest : public KernelTest {};
class DescriptionTest : public KernelTest {};

TEST_F(ErrorsTest, LastErrorIsTakenOnceWhileItsInformationStays) {
    TestElement anchor(nullptr, "anchor");  // the kernel rows exist once an object does
    EXPECT_FALSE(ReportError(3, "n7"));

    const NError first = TakeLastError();
    EXPECT_EQ(first.GetCode(), 3u);
    // "Объект не найден" in cp1251, spelled out so that the conversion is not trusted blindly.
    EXPECT_EQ(first.GetMessage(), "\xCE\xE1\xFA\xE5\xEA\xF2 \xED\xE5 \xED\xE0\xE9\xE4\xE5\xED");
    EXPECT_EQ(first.GetLevel(), "Kernel Level 1");
    EXPECT_EQ(GetLastErrorInfo(), "n7");

    const NError second = TakeLastError();
    EXPECT_EQ(second.GetCode(), 0u);
    EXPECT_EQ(second.GetMessage(), Utf8ToCp1251("Нет ошибки"));
    EXPECT_EQ(second.GetLevel(), "");
    EXPECT_EQ(GetLastErrorInfo(), "n7");
}

TEST_F(ErrorsTest, CodeZeroClearsAndUnregisteredCodesYieldTheDefaultRecord) {
    TestElement anchor(nullptr, "anchor");
    EXPECT_FALSE(ReportError(4));
    EXPECT_TRUE(ReportError(0, ""));
    EXPECT_EQ(PeekLastErrorCode(), 0u);

    EXPECT_FALSE(ReportError(99, "x"));
    EXPECT_EQ(PeekLastErrorCode(), 99u);
    const NError record = TakeLastError();
    EXPECT_EQ(record.GetCode(), 0u);
    EXPECT_EQ(record.GetType(), 2);
    EXPECT_EQ(record.GetLevel(), "");
    EXPECT_EQ(record.GetMessage(), "");
    EXPECT_EQ(PeekLastErrorCode(), 0u);
}

TEST_F(ErrorsTest, KernelRowsAreComplete) {
    TestElement anchor(nullptr, "anchor");
    const std::uint32_t codes[] = {0, 1, 2, 3, 4, 5, 10, 11, 12, 13, 14, 20, 21, 30, 31, 32, 40, 41, 42};
    const auto& table = GetErrorTable();
    for (std::uint32_t code : codes) {
        auto it = table.find(code);
        ASSERT_NE(it, table.end()) << code;
        EXPECT_EQ(it->second.GetCode(), code);
        EXPECT_EQ(it->second.GetLevel(), code == 0 ? "" : "Kernel Level 1") << code;
        EXPECT_EQ(it->second.GetType(), 1) << code;  // stored by assignment
        EXPECT_FALSE(it->second.GetMessage().empty()) << code;
    }
    EXPECT_EQ(table.at(30).GetMessage(), Utf8ToCp1251("Нельзя подключить ещё один объект"));
    EXPECT_NE(table.at(30).GetMessage().find('\xB8'), std::string::npos);  // ё
    EXPECT_EQ(table.at(13).GetMessage(),
              Utf8ToCp1251("Удаление компонента невозоможно так как он не принадлежит данному объекту"));
    EXPECT_EQ(table.at(42).GetMessage(), Utf8ToCp1251("Не установлена активная модель"));
}

TEST_F(ErrorsTest, TableSurvivesTheLastObjectAndIsWrittenAgain) {
    ASSERT_EQ(NBasicDescription::GetInstanceCount(), 0) << "an earlier test leaked objects";
    std::map<std::uint32_t, std::string> before;
    {
        TestElement first(nullptr, "first");
        for (const auto& [code, record] : GetErrorTable()) before[code] = record.GetLevel() + "|" + record.GetMessage();
    }
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), 0);
    RegisterError(3, 2, "Other", "replaced while no object lives");
    TestElement second(nullptr, "second");
    std::map<std::uint32_t, std::string> after;
    for (const auto& [code, record] : GetErrorTable()) after[code] = record.GetLevel() + "|" + record.GetMessage();
    EXPECT_EQ(before, after);
}

// m > net > s1, the chain of the name examples.
struct Chain {
    NModel Model{"m"};
    NNet* Net = nullptr;
    TestElement* S1 = nullptr;
    Chain() {
        Net = new NNet(&Model, "net");
        Model.AddComponent(Net);
        S1 = new TestElement(Net, "s1");
        Net->AddObject(S1);
    }
};

TEST_F(NamesTest, FullAndRelativeNamesAlongAChain) {
    Chain c;
    char buffer[64];
    EXPECT_EQ(c.S1->GetFullNameLength(), 8);
    EXPECT_STREQ(c.S1->GetFullName(buffer), "m.net.s1");
    EXPECT_STREQ(c.S1->GetRelativeName(&c.Model, buffer), "net.s1");
    EXPECT_EQ(c.S1->GetRelativeNameLength(&c.Model), 6);
    EXPECT_STREQ(c.S1->GetRelativeName(c.Net, buffer), "s1");
    EXPECT_STREQ(c.S1->GetRelativeName(nullptr, buffer), "m.net.s1");
    EXPECT_EQ(c.S1->GetRelativeNameLength(nullptr), 8);

    TestElement stranger(nullptr, "x");
    EXPECT_EQ(c.S1->GetRelativeName(&stranger, buffer), nullptr);
    EXPECT_EQ(c.S1->GetRelativeNameLength(&stranger), 0);
    EXPECT_EQ(c.S1->GetRelativeName(&stranger, nullptr), nullptr);
    EXPECT_EQ(c.S1->GetRelativeName(c.S1, buffer), nullptr);  // an object is not its own ancestor

    // A root: its own name, and no relative name to anything.
    EXPECT_STREQ(c.Model.GetFullName(buffer), "m");
    EXPECT_EQ(c.Model.GetFullNameLength(), 1);
    EXPECT_STREQ(c.Model.GetRelativeName(nullptr, buffer), "m");
    EXPECT_EQ(c.Model.GetRelativeName(c.Net, buffer), nullptr);
    EXPECT_EQ(c.Model.GetRelativeNameLength(c.Net), 0);
}

TEST_F(NamesTest, SharedBufferHoldsOneResultAndSurvivesTheLastObject) {
    {
        Chain c;
        const char* first = c.S1->GetFullName(nullptr);
        EXPECT_STREQ(first, "m.net.s1");
        const char* second = c.Net->GetRelativeName(nullptr, nullptr);
        EXPECT_STREQ(second, "m.net");
        EXPECT_STREQ(c.S1->GetRelativeName(&c.Model, nullptr), "net.s1");
    }
    ASSERT_EQ(NBasicDescription::GetInstanceCount(), 0);
    // The buffer was released with the last object; a new one must start from scratch
    // (a stale pointer would be freed twice here, which the sanitizer build reports).
    TestElement fresh(nullptr, "a-rather-longer-name-than-before");
    EXPECT_STREQ(fresh.GetFullName(nullptr), "a-rather-longer-name-than-before");
    EXPECT_STREQ(fresh.GetRelativeName(nullptr, nullptr), "a-rather-longer-name-than-before");
}

TEST_F(NamesTest, NullNameIsEmptyAndSetNameRefusals) {
    TestElement unnamed(nullptr, nullptr);
    ASSERT_NE(unnamed.GetName(), nullptr);
    EXPECT_STREQ(unnamed.GetName(), "");
    EXPECT_TRUE(unnamed.SetName("anything.at.all"));  // no owner: any non-empty name

    NNet net(nullptr, "net");
    auto* a = new TestElement(&net, "a");
    auto* b = new TestElement(&net, "b");
    ASSERT_TRUE(net.AddObject(a));
    ASSERT_TRUE(net.AddObject(b));

    EXPECT_FALSE(a->SetName(""));
    EXPECT_EQ(LastCode(), 1u);
    EXPECT_FALSE(a->SetName(nullptr));
    EXPECT_EQ(LastCode(), 1u);
    EXPECT_EQ(GetLastErrorInfo(), "");
    EXPECT_FALSE(a->SetName("b"));
    EXPECT_EQ(LastCode(), 2u);
    EXPECT_EQ(GetLastErrorInfo(), "b");
    EXPECT_FALSE(a->SetName("a"));  // the net finds its own current name in use
    EXPECT_EQ(LastCode(), 2u);
    EXPECT_STREQ(a->GetName(), "a");
}

TEST_F(NamesTest, RenamedObjectIsFoundUnderItsNewNameOnly) {
    NNet net(nullptr, "net");
    auto* a = new TestElement(&net, "a");
    ASSERT_TRUE(net.AddObject(a));
    ASSERT_TRUE(a->SetName("renamed"));
    EXPECT_EQ(net.GetComponent("renamed"), a);
    EXPECT_EQ(net.GetComponent("a"), nullptr);
    EXPECT_TRUE(net.CheckName("a"));
    EXPECT_FALSE(net.CheckName("renamed"));
    EXPECT_TRUE(net.DelObject("renamed"));
    EXPECT_EQ(net.GetObjectsCount(), 0);
}

// Short names live inside the object and long ones on the heap: every length about the border,
// and renames that cross it either way, or take the name's own characters.
TEST_F(NamesTest, NamesOfEveryLengthSurviveRenamesAcrossTheInlineBorder) {
    const std::string lengths[] = {"a", "s12", "c4711", "abcdef", "abcdefg", "abcdefgh", std::string(300, 'n')};
    NNet net(nullptr, "net");
    auto* object = new TestElement(&net, "start");
    ASSERT_TRUE(net.AddObject(object));
    for (const std::string& before : lengths)
        for (const std::string& after : lengths) {
            if (before == after) continue;
            if (object->GetName() != before) {
                ASSERT_TRUE(object->SetName(before.c_str()));
            }
            ASSERT_TRUE(object->SetName(after.c_str())) << before << " -> " << after;
            EXPECT_EQ(object->GetName(), after);
            EXPECT_EQ(object->FullName(), "net." + after);
            EXPECT_EQ(net.GetComponent(after.c_str()), object);
            EXPECT_TRUE(net.CheckName(before.c_str())) << before << " still taken";
        }
    // Renamed to its own characters: no owner refuses it, and a freed old name must not be read.
    for (const std::string& name : lengths) {
        TestElement loose(nullptr, name.c_str());
        EXPECT_TRUE(loose.SetName(loose.GetName()));
        EXPECT_EQ(loose.GetName(), name);
        EXPECT_EQ(loose.GetFullNameLength(), static_cast<int>(name.size()));
    }
}

TEST_F(NamesTest, GenerateNameYieldsTheSmallestFreeName) {
    NNet net(nullptr, "net");
    net.AddObject(new TestElement(&net, "n1"));
    net.AddObject(new TestElement(&net, "n3"));
    auto* probe = new TestElement(&net, "probe");
    net.AddObject(probe);
    char buffer[16];
    EXPECT_STREQ(probe->GenerateName(buffer), "n2");
    net.AddObject(new TestElement(&net, "n2"));
    EXPECT_STREQ(probe->GenerateName(buffer), "n4");
    EXPECT_EQ(probe->GenerateName(nullptr), nullptr);
}

TEST_F(DescriptionTest, NewChecksOwnerClassAndNameAndDoesNotInsert) {
    NModel model("m");
    auto* net = new NNet(&model, "net");
    ASSERT_TRUE(model.AddComponent(net));
    TestElement prototype(nullptr, "TestElement");

    EXPECT_EQ(prototype.New(nullptr, "x"), nullptr);
    EXPECT_EQ(LastCode(), 4u);
    EXPECT_EQ(GetLastErrorInfo(), "");

    TestConnector wrongOwner(net, "syn");
    EXPECT_EQ(prototype.New(&wrongOwner, "x"), nullptr);
    EXPECT_EQ(LastCode(), 12u);
    EXPECT_EQ(GetLastErrorInfo(), "m.net.syn");

    net->AddObject(new TestElement(net, "taken"));
    EXPECT_EQ(prototype.New(net, "taken"), nullptr);
    EXPECT_EQ(LastCode(), 2u);
    EXPECT_EQ(GetLastErrorInfo(), "taken");

    std::unique_ptr<NBasicDescription> made(prototype.New(net, "fresh"));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetOwner(), net);
    EXPECT_STREQ(made->GetName(), "fresh");
    EXPECT_EQ(net->GetObjectsCount(), 1);
}

TEST_F(DescriptionTest, ElementWithoutComponentsDestroysWhatItRefuses) {
    TestElement element(nullptr, "e");
    const int live = NBasicDescription::GetInstanceCount();
    EXPECT_FALSE(element.AddComponent(new TestElement(&element, "c")));
    EXPECT_EQ(LastCode(), 10u);
    EXPECT_EQ(GetLastErrorInfo(), "e.c");
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), live);
    TestAObject other(nullptr, "o");
    EXPECT_FALSE(element.CopyComponents(&other));
    EXPECT_EQ(LastCode(), 5u);
}

TEST_F(DescriptionTest, ParametersAreCheckedKeptAndListedInOrder) {
    TestElement element(nullptr, "e");
    NStringList names{"before"};
    element.GetParametersList(names);
    EXPECT_EQ(names, (NStringList{"before", "Gain", "Threshold"}));

    EXPECT_EQ(element.GetParameter("Nope"), 0);
    EXPECT_EQ(LastCode(), 20u);
    EXPECT_EQ(GetLastErrorInfo(), "Nope");
    EXPECT_FALSE(element.SetParameter("Nope", 1));
    EXPECT_EQ(LastCode(), 20u);

    element.Steps = 5;
    EXPECT_TRUE(element.SetParameter("Gain", -3));  // does not reset
    EXPECT_EQ(element.Steps, 5);
    EXPECT_FALSE(element.SetParameter("Threshold", 0));
    EXPECT_EQ(LastCode(), 21u);
    EXPECT_EQ(GetLastErrorInfo(), "Threshold");
    EXPECT_FALSE(element.SetParameter("Threshold", std::nan("")));
    EXPECT_EQ(element.GetParameter("Threshold"), 0.5);
    EXPECT_EQ(element.Steps, 5);
    EXPECT_TRUE(element.SetParameter("Threshold", 2));  // resets
    EXPECT_EQ(element.Steps, 0);
    EXPECT_EQ(element.GetParameter("Gain"), -3);
}

TEST_F(DescriptionTest, CloneCopiesParametersAndComponentsButNotState) {
    NNet net(nullptr, "net");
    TestCell prototype(nullptr, "Cell");
    ASSERT_TRUE(prototype.SetParameter("Period", 3));
    ASSERT_TRUE(prototype.SetParameter("Weight", 0.25));
    prototype.AddSynapse("s1");
    prototype.AddSynapse("s2");
    prototype.Calculate();

    std::unique_ptr<NBasicDescription> clone(prototype.Clone(&net, "c"));
    auto* cell = dynamic_cast<TestCell*>(clone.get());
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->GetOwner(), &net);
    EXPECT_EQ(cell->GetParameter("Period"), 3);
    EXPECT_EQ(cell->GetParameter("Weight"), 0.25);
    EXPECT_EQ(cell->GetState().Steps, 0);  // state is not copied
    NStringList names;
    cell->GetComponentsList(names);
    EXPECT_EQ(names, (NStringList{"s1", "s2"}));
    EXPECT_EQ(cell->GetComponent("s2")->GetOwner(), cell);
    EXPECT_NE(cell->GetComponent("s2"), prototype.GetComponent("s2"));

    EXPECT_EQ(prototype.Clone(nullptr, "orphan"), nullptr);  // New refuses: nothing copied
    EXPECT_EQ(LastCode(), 4u);
}

} // namespace
} // namespace talvero::test
