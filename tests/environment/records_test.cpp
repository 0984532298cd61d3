// The parsed-line records: their one-line form and reading it back.

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "environment/NParserRecords.h"

namespace talvero {
namespace {

TEST(ParserRecords, KindsAndTheLinksNameOrder) {
    EXPECT_EQ(NParserString().GetKind(), 0);
    EXPECT_EQ(NParserHdr("n", "a").GetKind(), 0);
    NParserLink link("gen", "net1.cellA.u1.s1");
    EXPECT_EQ(link.GetName() + "/" + link.GetArgument(), "gen/net1.cellA.u1.s1");
}

TEST(ParserRecords, OneLineForms) {
    EXPECT_EQ(RecordLine(NParserClassHdr("A", "Neuron")), "1 A Neuron");
    EXPECT_EQ(RecordLine(NParserObjectHdr("gen", "ASinusGenerator")), "2 gen ASinusGenerator");
    EXPECT_EQ(RecordLine(NParserParameter("Frequency", "5")), "3 Frequency 5");
    // A link writes its names in the reverse of their source order.
    EXPECT_EQ(RecordLine(NParserLink("gen", "net1.cellA.u1.s1")), "4 net1.cellA.u1.s1 gen");
    EXPECT_EQ(RecordLine(NParserBlockOpen()), "8");
    EXPECT_EQ(RecordLine(NParserBlockClose()), "9");
    std::string out = "prefix:";
    NParserBlockClose().WriteFields(out);
    EXPECT_EQ(out, "prefix:9");
}

TEST(ParserRecords, EveryRecordReadsBackFromItsLine) {
    std::vector<std::unique_ptr<NParserString>> written;
    written.push_back(std::make_unique<NParserClassHdr>("A", "Neuron"));
    written.push_back(std::make_unique<NParserObjectHdr>("gen", "ASinusGenerator"));
    written.push_back(std::make_unique<NParserParameter>("Frequency", "-1.5e3"));
    written.push_back(std::make_unique<NParserParameter>("Empty", ""));
    written.push_back(std::make_unique<NParserLink>("gen", "net1.cellA.u1.s1"));
    written.push_back(std::make_unique<NParserBlockOpen>());
    written.push_back(std::make_unique<NParserBlockClose>());
    for (const auto& record : written) {
        std::string line = RecordLine(*record);
        std::unique_ptr<NParserString> read = MakeParserRecord(record->GetKind());
        ASSERT_TRUE(read);
        ASSERT_TRUE(read->ReadFields(line)) << RecordLine(*record);
        EXPECT_EQ(read->GetKind(), record->GetKind());
        EXPECT_EQ(read->GetName(), record->GetName());
        EXPECT_EQ(read->GetArgument(), record->GetArgument());
    }
}

TEST(ParserRecords, ReadingShortensTheLineFieldByField) {
    NParserParameter par;
    std::string line = "3 Frequency";
    ASSERT_TRUE(par.ReadFields(line));
    // The last field stays in the line and is read again as the value.
    EXPECT_EQ(par.GetName(), "Frequency");
    EXPECT_EQ(par.GetArgument(), "Frequency");
    EXPECT_EQ(line, "Frequency");

    NParserLink link;
    line = "4 b a extra";
    ASSERT_TRUE(link.ReadFields(line));
    EXPECT_EQ(link.GetName(), "a");
    EXPECT_EQ(link.GetArgument(), "b");
    EXPECT_EQ(line, "extra");

    NParserObjectHdr hdr;
    line = "2";
    ASSERT_TRUE(hdr.ReadFields(line));
    EXPECT_EQ(hdr.GetName() + "/" + hdr.GetArgument(), "2/2");
}

TEST(ParserRecords, TheKindAtTheFrontMustBeTheRecordsOwn) {
    NParserBlockClose close;
    std::string line = "9";
    EXPECT_TRUE(close.ReadFields(line));
    line = "8";
    EXPECT_FALSE(close.ReadFields(line));
    EXPECT_EQ(line, "8");

    NParserParameter par("keep", "me");
    line = "03 x y";
    EXPECT_TRUE(par.ReadFields(line));
    EXPECT_EQ(par.GetName() + "/" + par.GetArgument(), "x/y");
    // A leading blank makes an empty first field: kind 0.
    line = " 3 x y";
    EXPECT_FALSE(par.ReadFields(line));
    EXPECT_EQ(line, " 3 x y");
    EXPECT_EQ(par.GetName(), "x");
    line = "3x a b";
    EXPECT_TRUE(par.ReadFields(line));
    EXPECT_EQ(par.GetName() + "/" + par.GetArgument(), "a/b");
}

// The loader makes records straight from their lines: what it makes must be what MakeParserRecord
// and ReadFields make, for damaged lines too.
TEST(ParserRecords, ALineParsedWholeGivesWhatReadFieldsGives) {
    for (const char* text : {"1 A Neuron", "2 gen ASinusGenerator", "3 Frequency -1.5e3", "3 Empty ", "4 b a",
                             "4 b a extra", "4 b", "4", "2", "03 x y", "3x a b", "8", "9 junk", "8x", " 3 x y", "5 a b",
                             "", "2  a b"}) {
        SCOPED_TRACE(text);
        const std::string line = text;
        std::unique_ptr<NParserString> parsed = ParseRecordLine(line);
        std::unique_ptr<NParserString> read = MakeParserRecord(TextToLong(line.substr(0, line.find(' '))));
        ASSERT_EQ(parsed == nullptr, read == nullptr);
        if (!read) continue;
        std::string rest = line;
        ASSERT_TRUE(read->ReadFields(rest));
        EXPECT_EQ(parsed->GetKind(), read->GetKind());
        EXPECT_EQ(parsed->GetName(), read->GetName());
        EXPECT_EQ(parsed->GetArgument(), read->GetArgument());
    }
}

TEST(TextToLong, ReadsLikeAtolWithoutOverflow) {
    EXPECT_EQ(TextToLong("\t\n +7x"), 7);
    EXPECT_EQ(TextToLong("-5"), -5);
    EXPECT_EQ(TextToLong("abc"), 0);
    EXPECT_EQ(TextToLong("- 5"), 0);
    EXPECT_EQ(TextToLong("99999999999999999999999"), LLONG_MAX);
    EXPECT_EQ(TextToLong("-9223372036854775808"), LLONG_MIN);
    EXPECT_EQ(TextToLong("-99999999999999999999999"), LLONG_MIN);
    // A kind far out of range never wraps onto a real one.
    EXPECT_EQ(MakeParserRecord(TextToLong("4294967297")), nullptr);
}

TEST(MakeParserRecord, OnlyTheSixListKindsHaveRecords) {
    for (long long kind : {1, 2, 3, 4, 8, 9}) {
        auto record = MakeParserRecord(kind);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->GetKind(), kind);
        EXPECT_EQ(record->GetName(), "");
        EXPECT_EQ(record->GetArgument(), "");
    }
    for (long long kind : {0, 5, 6, 7, 10, -1}) EXPECT_EQ(MakeParserRecord(kind), nullptr);
}

// Records of every size, made and dropped in waves and out of order, each keeping its own fields:
// slots reused for another record, or handed out twice, would show as a changed field.
TEST(ParserRecords, ManyRecordsMadeAndDroppedInWavesKeepTheirFields) {
    struct Big : NParserLink {  // beyond the sizes the records share slots for
        using NParserLink::NParserLink;
        char Padding[200] = {};
    };
    auto make = [](int i) -> std::unique_ptr<NParserString> {
        std::string a = "a", b = "b";
        a += std::to_string(i);
        b += std::to_string(i);
        switch (i % 5) {
        case 0: return std::make_unique<NParserLink>(a, b);
        case 1: return std::make_unique<NParserObjectHdr>(a, b);
        case 2: return std::make_unique<NParserBlockOpen>();
        case 3: return std::make_unique<Big>(a, b);
        default: return std::make_unique<NParserParameter>(a, b);
        }
    };
    auto holds = [](const NParserString& record, int i) {
        if (i % 5 == 2) return record.GetKind() == ParserKindBlockOpen;
        const std::string number = std::to_string(i);
        return record.GetName() == "a" + number && record.GetArgument() == "b" + number;
    };
    std::vector<std::pair<int, std::unique_ptr<NParserString>>> live;
    int next = 0;
    for (int wave = 0; wave < 4; ++wave) {
        for (int k = 0; k < 20000; ++k, ++next) live.emplace_back(next, make(next));
        // Drop every third, then all of an early stretch.
        for (std::size_t k = 0; k < live.size(); k += 3) live[k].second.reset();
        for (std::size_t k = 0; k < live.size() / 4; ++k) live[k].second.reset();
        for (const auto& [i, record] : live) {
            if (record) {
                ASSERT_TRUE(holds(*record, i)) << "record " << i;
            }
        }
        std::erase_if(live, [](const auto& entry) { return !entry.second; });
    }
    live.clear();
    // After the last is gone, new records start afresh.
    auto again = make(7);
    EXPECT_TRUE(holds(*again, 7));
}

// Records come from chunks that go back to the heap once empty. Records of every size made in
// one run, dropped in an order that empties some chunks while others stay partly used, and made
// again into the gaps, must each keep their own fields.
TEST(ParserRecords, RecordsDroppedInAnyOrderLeaveTheOthersIntact) {
    auto make = [](int i) -> std::unique_ptr<NParserString> {
        const std::string n = std::to_string(i);
        switch (i % 4) {
        case 0: return std::make_unique<NParserObjectHdr>("o" + n, "Neuron");
        case 1: return std::make_unique<NParserLink>("c" + n, "d" + n + ".exc.s1");
        case 2: return std::make_unique<NParserBlockClose>();
        default: return std::make_unique<NParserParameter>("P" + n, n);
        }
    };
    auto line = [&make](int i) { return RecordLine(*make(i)); };
    constexpr int kCount = 20000;  // several chunks of every size
    std::vector<std::unique_ptr<NParserString>> records;
    std::vector<int> origin;
    for (int i = 0; i < kCount; ++i) {
        records.push_back(make(i));
        origin.push_back(i);
    }
    struct Drop {
        int From, To, Every;
    };
    const Drop drops[] = {{0, kCount / 2, 1}, {kCount / 2, kCount, 3}, {kCount / 2 + 1, kCount, 7}};
    int next = kCount;
    for (const Drop& d : drops) {
        for (int i = d.From; i < d.To; i += d.Every) records[i].reset();
        for (int i = d.From; i < d.To; i += 2 * d.Every) {
            records[i] = make(next);
            origin[i] = next++;
        }
        for (int i = 0; i < kCount; ++i) {
            if (records[i]) {
                ASSERT_EQ(RecordLine(*records[i]), line(origin[i])) << "record " << i;
            }
        }
    }
}

} // namespace
} // namespace talvero
