// Nets: objects, dotted lookups, links and their copies, computation order.

#include "TestElements.h"

namespace talvero::test {
namespace {

class NetTest : public KernelTest {
protected:
    TestCell* AddCell(NNet& net, const char* name, std::initializer_list<const char*> synapses = {}) {
        auto* cell = new TestCell(&net, name);
        for (const char* s : synapses) cell->AddSynapse(s);
        EXPECT_TRUE(net.AddObject(cell));
        return cell;
    }
    static NAbstractItem* ItemOf(NBasicDescription* connector) {
        return static_cast<NAbstractConnector*>(connector)->GetItem();
    }
};

TEST_F(NetTest, DottedLookupDescendsIntoTheExactHeadOnly) {
    NNet net(nullptr, "net");
    TestCell* cell1 = AddCell(net, "cell1", {"s2"});
    TestCell* cell10 = AddCell(net, "cell10", {"s1"});
    EXPECT_EQ(net.GetComponent("cell10.s1"), cell10->GetComponent("s1"));
    EXPECT_EQ(net.GetComponent("cell1"), cell1);

    EXPECT_EQ(net.GetComponent("cell1.s1"), nullptr);
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_EQ(GetLastErrorInfo(), "s1");  // reported by cell1's own lookup
    EXPECT_EQ(net.GetComponent("cell2.s1"), nullptr);
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_EQ(GetLastErrorInfo(), "cell2.s1");
    EXPECT_EQ(net.GetComponent(""), nullptr);
    EXPECT_EQ(LastCode(), 1u);
    EXPECT_EQ(net.GetComponent(nullptr), nullptr);
    EXPECT_EQ(LastCode(), 1u);
    EXPECT_EQ(net.GetObject("cell10.s1"), nullptr);  // GetObject takes own names only
    EXPECT_EQ(LastCode(), 3u);
}

TEST_F(NetTest, LookupsFindTheFirstOfTwoEqualNamesAndTryNoOther) {
    // AddObject does not check names, so a net can hold two objects of one name.
    NNet net(nullptr, "net");
    TestCell* first = AddCell(net, "twin");
    TestCell* second = AddCell(net, "twin", {"x"});
    AddCell(net, "other");
    EXPECT_EQ(net.GetComponent("twin"), first);
    EXPECT_EQ(net.GetObject("twin"), first);
    EXPECT_EQ(net.GetComponent("twin.x"), nullptr);
    EXPECT_EQ(LastCode(), 3u);

    EXPECT_TRUE(net.DelObject("twin"));  // the first one goes
    EXPECT_EQ(net.GetComponent("twin"), second);
    EXPECT_NE(net.GetComponent("twin.x"), nullptr);

    // Renaming a later twin away must not hide the earlier one of that name.
    TestCell* third = AddCell(net, "twin");
    ASSERT_NE(third, second);
    ASSERT_TRUE(second->SetName("single"));
    EXPECT_EQ(net.GetComponent("twin"), third);
    EXPECT_EQ(net.GetComponent("single"), second);
}

// Enough objects for the index to grow and its runs of slots to collide, twins among them; after
// each deletion every name finds what a walk of the list would find first.
TEST_F(NetTest, ManyObjectsAreFoundAfterDeletionsAsTheListWouldFindThem) {
    NNet net(nullptr, "net");
    for (int i = 0; i < 700; ++i) AddCell(net, ("o" + std::to_string(i % 500)).c_str());
    const auto firstInList = [&net](const std::string& name) -> NObject* {
        for (auto it = net.GetObjectsBegin(); it != net.GetObjectsEnd(); ++it)
            if ((*it)->GetName() == name) return it->get();
        return nullptr;
    };
    unsigned pick = 1;
    for (int round = 0; round < 300; ++round) {
        pick = pick * 1103515245u + 12345u;
        const std::string doomed = "o" + std::to_string(pick % 500);
        const bool present = firstInList(doomed) != nullptr;
        EXPECT_EQ(net.DelObject(doomed.c_str()), present) << doomed;
        if (round % 50 != 49) continue;
        for (int i = 0; i < 500; ++i) {
            const std::string name = "o" + std::to_string(i);
            NObject* expected = firstInList(name);
            EXPECT_EQ(net.GetObject(name.c_str()), expected) << name;
            EXPECT_EQ(net.CheckName(name.c_str()), expected == nullptr) << name;
        }
    }
}

TEST_F(NetTest, InsertionRefusals) {
    NNet net(nullptr, "net");
    NNet elsewhere(nullptr, "elsewhere");
    const int live = NBasicDescription::GetInstanceCount();

    EXPECT_FALSE(net.AddObject(nullptr));
    EXPECT_EQ(LastCode(), 4u);
    EXPECT_FALSE(net.AddObject(new TestElement(&elsewhere, "stray")));
    EXPECT_EQ(LastCode(), 14u);
    EXPECT_EQ(GetLastErrorInfo(), "elsewhere.stray");
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), live);  // destroyed

    EXPECT_FALSE(net.AddComponent(new TestConnector(&net, "loose")));
    EXPECT_EQ(LastCode(), 10u);
    EXPECT_EQ(GetLastErrorInfo(), "net.loose");
    EXPECT_EQ(NBasicDescription::GetInstanceCount(), live);

    auto* once = new TestElement(&net, "once");
    ASSERT_TRUE(net.AddComponent(once));
    EXPECT_FALSE(net.AddObject(once));
    EXPECT_EQ(LastCode(), 11u);
    EXPECT_EQ(GetLastErrorInfo(), "net.once");
    EXPECT_EQ(net.GetObjectsCount(), 1);
    EXPECT_STREQ(once->GetName(), "once");  // still alive

    EXPECT_FALSE(net.DelObject(""));
    EXPECT_EQ(LastCode(), 1u);
    EXPECT_FALSE(net.DelComponent("nobody"));
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_EQ(GetLastErrorInfo(), "nobody");
}

TEST_F(NetTest, NameChecksListsAndOwners) {
    NNet net(nullptr, "net");
    AddCell(net, "b");
    AddCell(net, "a");
    EXPECT_FALSE(net.CheckName(nullptr));
    EXPECT_FALSE(net.CheckName(""));
    EXPECT_FALSE(net.CheckName("a"));
    EXPECT_TRUE(net.CheckName("A"));  // case-sensitive
    NStringList names{"x"};
    net.GetComponentsList(names);
    EXPECT_EQ(names, (NStringList{"x", "b", "a"}));

    TestElement notANet(nullptr, "e");
    EXPECT_FALSE(net.CopyComponents(&notANet));
    EXPECT_EQ(LastCode(), 5u);

    TestConnector notAnObject(nullptr, "c");
    EXPECT_EQ(net.New(&notAnObject, "n"), nullptr);
    EXPECT_EQ(LastCode(), 12u);
}

TEST_F(NetTest, CreateLinkResolvesBothEndsAndRecordsTheLink) {
    NNet net(nullptr, "net");
    AddCell(net, "src");
    TestCell* dst = AddCell(net, "dst", {"s1", "s2"});
    auto* analog = new TestAnalogItem(&net, "analog");
    ASSERT_TRUE(net.AddObject(analog));

    EXPECT_TRUE(net.CreateLink("src", "dst.s1"));
    EXPECT_EQ(ItemOf(dst->GetComponent("s1")), net.GetComponent("src"));

    EXPECT_FALSE(net.CreateLink("analog", "dst.s2"));
    EXPECT_EQ(LastCode(), 32u);
    EXPECT_FALSE(net.CreateLink("ghost", "dst.s2"));
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_EQ(GetLastErrorInfo(), "ghost");
    EXPECT_FALSE(net.CreateLink("src", "dst.ghost"));
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_EQ(GetLastErrorInfo(), "dst.ghost");
    EXPECT_FALSE(net.CreateLink("dst.s2", "dst.s2"));  // a connector is no item
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_FALSE(net.CreateLink("src", "dst"));  // an item is no connector
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_FALSE(net.CreateLink(nullptr, "dst.s2"));
    EXPECT_EQ(LastCode(), 3u);
    EXPECT_FALSE(net.CreateLink("src", "dst.s1"));  // already made
    EXPECT_EQ(LastCode(), 31u);

    NLinksMap links{{"stale", "entry"}};
    net.GetLinks(links);
    EXPECT_EQ(links, (NLinksMap{{"src", "dst.s1"}}));
}

TEST_F(NetTest, SetLinksMakesEveryLinkItCanAndStillReportsFailure) {
    NNet net(nullptr, "net");
    AddCell(net, "a");
    AddCell(net, "b");
    TestCell* dst = AddCell(net, "dst", {"s1", "s2", "s3"});
    // "Ghost" sorts first: an unknown item must not stop the keys after it.
    const NLinksMap wanted{{"a", "dst.s1"}, {"a", "dst.nope"}, {"a", "dst.s2"}, {"Ghost", "dst.s3"}, {"b", "dst.s3"}};
    EXPECT_FALSE(net.SetLinks(wanted));
    EXPECT_EQ(LastCode(), 3u);  // the last failure: the unknown connector
    EXPECT_EQ(GetLastErrorInfo(), "dst.nope");
    EXPECT_EQ(ItemOf(dst->GetComponent("s1")), net.GetComponent("a"));
    EXPECT_EQ(ItemOf(dst->GetComponent("s2")), net.GetComponent("a"));
    EXPECT_EQ(ItemOf(dst->GetComponent("s3")), net.GetComponent("b"));
    NLinksMap made;
    net.GetLinks(made);
    EXPECT_EQ(made, (NLinksMap{{"a", "dst.s1"}, {"a", "dst.s2"}, {"b", "dst.s3"}}));

    // A link its item refuses counts as a failure too; the rest is still made.
    TestCell* more = AddCell(net, "more", {"s"});
    EXPECT_FALSE(net.SetLinks(NLinksMap{{"a", "dst.s1"}, {"a", "more.s"}}));
    EXPECT_EQ(ItemOf(more->GetComponent("s")), net.GetComponent("a"));
    EXPECT_TRUE(net.SetLinks(NLinksMap{}));

    // A damaged file's name with a NUL inside is found by its C name and recorded as such, so the
    // record of every link stays readable.
    TestCell* last = AddCell(net, "last", {"s"});
    EXPECT_TRUE(net.SetLinks(NLinksMap{{std::string("b\0x", 3), std::string("last.s\0y", 8)}}));
    EXPECT_EQ(ItemOf(last->GetComponent("s")), net.GetComponent("b"));
    net.GetLinks(made);
    EXPECT_EQ(made.count("b"), 2u);
    EXPECT_EQ(std::prev(made.end())->second, "last.s");
}

// Names handed over as views into a larger text end where the view ends, not at the text's NUL.
TEST_F(NetTest, LinksGivenAsViewsAreFoundByTheViewedNamesOnly) {
    NNet net(nullptr, "net");
    AddCell(net, "a");
    AddCell(net, "ab");
    TestCell* dst = AddCell(net, "dst", {"s1", "s12"});
    const std::string text = "ab" "dst.s12" "a" "dst.s1";
    const std::string_view all(text);
    struct Case {
        NLinkViewList Links;
        bool Made;
        NLinksMap Recorded;
    };
    const Case cases[] = {
        {{{all.substr(0, 1), all.substr(2, 6)}}, true, {{"a", "dst.s1"}}},
        {{{all.substr(0, 2), all.substr(2, 7)}}, true, {{"a", "dst.s1"}, {"ab", "dst.s12"}}},
        {{{all.substr(0, 2), all.substr(2, 5)}}, false, {{"a", "dst.s1"}, {"ab", "dst.s12"}}},  // "dst.s"
    };
    for (const Case& c : cases) {
        EXPECT_EQ(net.SetLinks(c.Links), c.Made);
        NLinksMap made;
        net.GetLinks(made);
        EXPECT_EQ(made, c.Recorded);
    }
    EXPECT_EQ(ItemOf(dst->GetComponent("s1")), net.GetComponent("a"));
    EXPECT_EQ(ItemOf(dst->GetComponent("s12")), net.GetComponent("ab"));
}

// Links in packed form, whose connectors mostly lie in the object named just before: each name
// must still reach its own object, not the neighbour whose name it begins with.
TEST_F(NetTest, PackedLinksReachTheObjectsTheyNameAmongSimilarNeighbours) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> Links;
        bool Made;
    };
    const Case cases[] = {
        {{{"a", "cell1.s2"}, {"ab", "cell10.s1"}, {"a", "cell10.s2"}}, true},
        {{{"ab", "cell10.s1"}, {"a", "cell1.s1"}}, false},  // cell1 has no s1
        {{{"a", "cell1.s2"}, {"a", "cell1"}}, false},       // not a connector
        {{{"a", "cell10.s1"}, {"ghost", "cell1.s2"}}, false},
    };
    for (const Case& c : cases) {
        NNet net(nullptr, "net");
        AddCell(net, "a");
        AddCell(net, "ab");
        AddCell(net, "cell1", {"s2"});
        AddCell(net, "cell10", {"s1", "s2"});
        NPackedLinks links;
        NLinksMap wanted;
        for (const auto& [item, connector] : c.Links) {
            links.Add(item, connector);
            wanted.emplace(item, connector);
        }
        NNet plain(nullptr, "plain");
        for (const char* name : {"a", "ab"}) AddCell(plain, name);
        AddCell(plain, "cell1", {"s2"});
        AddCell(plain, "cell10", {"s1", "s2"});
        EXPECT_EQ(net.SetLinks(links), c.Made);
        EXPECT_EQ(plain.SetLinks(wanted), c.Made);
        NLinksMap made, madePlain;
        net.GetLinks(made);
        plain.GetLinks(madePlain);
        EXPECT_EQ(made, madePlain);
        for (const auto& [item, connector] : madePlain)
            EXPECT_EQ(ItemOf(net.GetComponent(connector.c_str())), net.GetComponent(item.c_str())) << connector;
    }
}

// A net that takes the packed links' text as its record must record just what the copying form
// records: not when a link failed, a name held a NUL, or links were recorded before.
TEST_F(NetTest, PackedLinksTakenByTheNetRecordAsCopied) {
    using namespace std::string_view_literals;
    struct Case {
        std::vector<std::pair<std::string_view, std::string_view>> Links;
        bool RecordedBefore;
    };
    const Case cases[] = {
        {{{"a", "cell1.s2"}, {"ab", "cell10.s1"}}, false},
        {{{"a", "cell1.s2"}, {"ab", "cell10.s1"}}, true},
        {{{"a", "cell1.s2"}, {"ghost", "cell10.s1"}}, false},
        {{{"a", "cell1.s2"}, {"ab", "cell1.s2"}}, false},  // taken already
        {{{"a\0x"sv, "cell1.s2"}, {"ab", "cell10.s1"}}, false},
    };
    for (const Case& c : cases) {
        NNet copying(nullptr, "net"), taking(nullptr, "net");
        NPackedLinks links;
        for (NNet* net : {&copying, &taking}) {
            AddCell(*net, "a");
            AddCell(*net, "ab");
            AddCell(*net, "cell1", {"s2"});
            AddCell(*net, "cell10", {"s1", "s2"});
            if (c.RecordedBefore) {
                ASSERT_TRUE(net->CreateLink("ab", "cell10.s2"));
            }
        }
        for (const auto& [item, connector] : c.Links) links.Add(item, connector);
        const bool made = copying.SetLinks(links);
        EXPECT_EQ(taking.SetLinks(std::move(links)), made);
        NLinksMap copied, taken;
        copying.GetLinks(copied);
        taking.GetLinks(taken);
        EXPECT_EQ(taken, copied);
        // Still there to say which link failed.
        if (!made) {
            EXPECT_EQ(links[1].first, c.Links[1].first);
        }
    }
}

TEST_F(NetTest, RecordedLinksReadBackInKeyOrderWithEqualKeysAsMade) {
    NNet net(nullptr, "net");
    AddCell(net, "a");
    AddCell(net, "b");
    TestCell* dst = AddCell(net, "dst", {"s1", "s2", "s3", "s4"});
    const std::pair<const char*, const char*> made[] = {{"b", "dst.s3"}, {"a", "dst.s4"}, {"b", "dst.s1"}, {"a", "dst.s2"}};
    NLinksMap expected;
    for (const auto& [item, connector] : made) {
        ASSERT_TRUE(net.CreateLink(item, connector));
        expected.emplace(item, connector);
    }
    NLinksMap links;
    net.GetLinks(links);
    EXPECT_EQ(links, expected);  // multimap equality also compares the order of equal keys
    EXPECT_EQ(links.begin()->second, "dst.s4");

    net.BreakAllLinks();
    for (const char* s : {"s1", "s2", "s3", "s4"}) EXPECT_EQ(ItemOf(dst->GetComponent(s)), nullptr) << s;
    ASSERT_TRUE(net.CreateLink("a", "dst.s1"));  // recorded again after the others
    expected.emplace("a", "dst.s1");
    net.GetLinks(links);
    EXPECT_EQ(links, expected);
}

// The record writes each name against the one before it: long shared beginnings take counts of
// several bytes, and a name may share all, none or more than the one before holds.
TEST_F(NetTest, RecordedLinksWithLongSharedNamesReadBackWhole) {
    NNet net(nullptr, "net");
    const std::string longer(300, 'x'), longest(20000, 'y');
    const std::vector<std::string> items = {longer + "a", longer + "b", "c", longer + "a", longest + "1", longest};
    for (std::size_t i = 0; i < 3; ++i) AddCell(net, items[i].c_str());
    AddCell(net, items[4].c_str());
    AddCell(net, items[5].c_str());
    AddCell(net, "dst", {(longer + "s1").c_str(), (longer + "s2").c_str(), "s", (longest + "t").c_str(),
                         (longest + "tt").c_str(), "u"});
    const std::vector<std::string> connectors = {"dst." + longer + "s1", "dst." + longer + "s2", "dst.s",
                                                 "dst." + longest + "tt", "dst." + longest + "t", "dst.u"};
    NLinksMap expected;
    NPackedLinks packed;
    for (std::size_t i = 0; i < items.size(); ++i) {
        expected.emplace(items[i], connectors[i]);
        if (i < 3) ASSERT_TRUE(net.CreateLink(items[i].c_str(), connectors[i].c_str())) << i;
        else packed.Add(items[i], connectors[i]);
    }
    ASSERT_TRUE(net.SetLinks(std::move(packed)));
    NLinksMap links;
    net.GetLinks(links);
    EXPECT_EQ(links, expected);
}

// Shared and remaining lengths on both sides of what a record's header byte holds (14) read back.
TEST_F(NetTest, RecordedLinksWithCountsAroundTheHeaderLimitReadBackWhole) {
    NNet net(nullptr, "net");
    const std::size_t lengths[] = {1, 16, 2, 17, 14, 15, 29, 13};
    std::vector<std::string> synapses;
    for (std::size_t length : lengths) synapses.push_back(std::string(length, 's'));
    TestCell* target = AddCell(net, "dst");
    for (const std::string& name : synapses) target->AddSynapse(name.c_str());
    NLinksMap expected;
    for (std::size_t length : lengths) {
        const std::string item(length, 'a'), connector = "dst." + std::string(length, 's');
        AddCell(net, item.c_str());
        ASSERT_TRUE(net.CreateLink(item.c_str(), connector.c_str())) << length;
        expected.emplace(item, connector);
    }
    NLinksMap links;
    net.GetLinks(links);
    EXPECT_EQ(links, expected);
}

TEST_F(NetTest, BreakingLinksLeavesTheRecordedLinks) {
    NNet net(nullptr, "net");
    TestCell* src = AddCell(net, "src");
    TestCell* dst = AddCell(net, "dst", {"s1", "s2"});
    ASSERT_TRUE(net.CreateLink("src", "dst.s1"));
    ASSERT_TRUE(net.CreateLink("src", "dst.s2"));

    EXPECT_TRUE(net.BreakLink("dst.s1"));
    EXPECT_EQ(ItemOf(dst->GetComponent("s1")), nullptr);
    EXPECT_EQ(src->GetConnectorsCount(), 1);
    EXPECT_TRUE(net.BreakLink("src"));
    EXPECT_EQ(src->GetConnectorsCount(), 0);
    EXPECT_FALSE(net.BreakLink("ghost"));
    EXPECT_EQ(LastCode(), 3u);
    NLinksMap links;
    net.GetLinks(links);
    EXPECT_EQ(links.size(), 2u);

    ASSERT_TRUE(net.SetLinks(links));  // remade from the record
    EXPECT_EQ(src->GetConnectorsCount(), 2);
    net.BreakAllLinks();
    EXPECT_EQ(src->GetConnectorsCount(), 0);
    net.GetLinks(links);
    EXPECT_EQ(links.size(), 4u);  // SetLinks recorded them again
}

TEST_F(NetTest, CloneRemakesTheLinksBetweenTheCopies) {
    NNet net(nullptr, "net");
    TestCell* first = AddCell(net, "first");
    TestCell* second = AddCell(net, "second", {"syn"});
    first->SetParameter("Period", 4);
    second->SetParameter("Weight", -2);
    auto* inner = new NNet(&net, "inner");
    ASSERT_TRUE(net.AddObject(inner));
    auto* deep = new TestCell(inner, "deep");
    deep->AddSynapse("syn");
    inner->AddObject(deep);
    ASSERT_TRUE(inner->CreateLink("deep", "deep.syn"));
    ASSERT_TRUE(net.CreateLink("first", "second.syn"));
    NNet holder(nullptr, "holder");

    std::unique_ptr<NBasicDescription> made(net.Clone(&holder, "copy"));
    auto* copy = dynamic_cast<NNet*>(made.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetObjectsCount(), 3);
    auto* copyFirst = dynamic_cast<TestCell*>(copy->GetObject("first"));
    auto* copySecond = dynamic_cast<TestCell*>(copy->GetObject("second"));
    ASSERT_TRUE(copyFirst && copySecond);
    EXPECT_NE(copyFirst, first);
    EXPECT_EQ(copyFirst->GetParameter("Period"), 4);
    EXPECT_EQ(copySecond->GetParameter("Weight"), -2);
    EXPECT_EQ(ItemOf(copy->GetComponent("second.syn")), copyFirst);
    EXPECT_EQ(ItemOf(second->GetComponent("syn")), first);  // the original keeps its own
    EXPECT_EQ(first->GetConnectorsCount(), 1);
    EXPECT_EQ(ItemOf(copy->GetComponent("inner.deep.syn")), copy->GetComponent("inner.deep"));
    NLinksMap links;
    copy->GetLinks(links);
    EXPECT_EQ(links, (NLinksMap{{"first", "second.syn"}}));
}

TEST_F(NetTest, ObjectsComputeInInsertionOrderSoPulsesReachLaterObjectsInTheSameStep) {
    NNet net(nullptr, "net");
    TestCell* early = AddCell(net, "early", {"s"});
    TestCell* source = AddCell(net, "source");
    TestCell* late = AddCell(net, "late", {"s"});
    source->SetParameter("Period", 100);
    ASSERT_TRUE(net.CreateLink("source", "early.s"));
    ASSERT_TRUE(net.CreateLink("source", "late.s"));
    std::vector<std::string> log;
    CallLog = &log;
    net.Reset();
    net.Calculate();
    net.Calculate();
    EXPECT_EQ(log, (std::vector<std::string>{"net.early@0.000000", "net.source@0.000000", "net.late@0.000000",
                                             "net.early@0.000000", "net.source@0.000000", "net.late@0.000000"}));
    EXPECT_EQ(late->GetState().FirstInputStep, 1);
    EXPECT_EQ(early->GetState().FirstInputStep, 2);
    EXPECT_EQ(early->GetState().Resets, 1);
}

TEST_F(NetTest, DestroyingANetDetachesConnectorsOutsideIt) {
    auto* net = new NNet(nullptr, "net");
    AddCell(*net, "a");
    AddCell(*net, "b", {"s"});
    ASSERT_TRUE(net->CreateLink("a", "b.s"));
    TestConnector outside(nullptr, "outside");
    ASSERT_TRUE(dynamic_cast<TestCell*>(net->GetObject("a"))->Connect(&outside));
    net->DelAllComponents();
    EXPECT_EQ(net->GetObjectsCount(), 0);
    EXPECT_EQ(outside.GetItem(), nullptr);
    EXPECT_EQ(net->GetComponent("a"), nullptr);
    delete net;
}

} // namespace
} // namespace talvero::test
