#include "imagefiles/dump_modules.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/builders.h"
#include "tests/reference_walk.h"

namespace corvinade {
namespace {

using test::Bytes;
using test::Get32;
using test::MinidumpBuilder;
using test::Put32;
using test::TestModule;

constexpr std::uint32_t kStamp = 0x5AB38077;
constexpr std::uint32_t kOther = 0x59B0D8F3;
constexpr ImageIdentity kIdentity{kStamp, 0x00C0FFEE, 0x00FACADE};

// A dump and the offsets of the records that an update must patch.
struct Fixture {
  Bytes dump;
  std::vector<std::uint64_t> patched;
};

// The dump as it must be after an update that returned `status`: on Ok, exactly the 8
// bytes after BaseOfImage of each patched record hold the identity; otherwise unchanged.
Bytes Expected(const Fixture& fixture, FileStatus status, const ImageIdentity& identity) {
  Bytes expected = fixture.dump;
  if (status == FileStatus::Ok) {
    for (const std::uint64_t record : fixture.patched) {
      Put32(expected, record + 8, identity.SizeOfImage);
      Put32(expected, record + 12, identity.CheckSum);
    }
  }
  return expected;
}

// Counts what an update asks of its view, and fails on request.
struct FakeView {
  Bytes bytes;
  int guardedRuns = 0;
  int failGuardedRun = 0;  // 1-based run that faults; 0: none
  bool flushFails = false;
  int flushes = 0;

  std::uint8_t* Data() { return bytes.data(); }
  std::uint64_t Length() const { return bytes.size(); }
  template <typename Work>
  bool RunGuarded(Work& work) {
    if (++guardedRuns == failGuardedRun) {
      return false;  // as if the first access faulted
    }
    work();
    return true;
  }
  bool Flush() {
    ++flushes;
    return !flushFails;
  }
};

struct DumpCase {
  const char* name;
  std::function<Fixture()> make;
  FileStatus status;
  ImageIdentity identity = kIdentity;
};

class UpdateDumpModulesTest : public testing::TestWithParam<DumpCase> {};

TEST_P(UpdateDumpModulesTest, ChangesExactlyTheMatchingRecords) {
  const DumpCase& c = GetParam();
  const Fixture fixture = c.make();
  Bytes dump = fixture.dump;
  EXPECT_EQ(UpdateDumpModulesInBytes(MutableBytes(dump.data(), dump.size()), c.identity), c.status);
  EXPECT_EQ(dump, Expected(fixture, c.status, c.identity));

  // Through a view: the same result and bytes, and a flush exactly when records changed.
  FakeView view{fixture.dump};
  EXPECT_EQ(UpdateDumpModulesInView(view, c.identity), c.status);
  EXPECT_EQ(view.bytes, Expected(fixture, c.status, c.identity));
  EXPECT_EQ(view.flushes, c.status == FileStatus::Ok ? 1 : 0);
}

// One list of three modules, the first and last carrying `kStamp` (duplicate matches).
Fixture TwoMatchesInOneList() {
  MinidumpBuilder b;
  b.AddModuleList({TestModule{kStamp}, TestModule{kOther}, TestModule{kStamp}});
  return {b.Build(), {b.RecordOffset(0, 0), b.RecordOffset(0, 2)}};
}

// A one-list dump whose file is then cut or whose fields are then changed by `edit`.
Fixture Edited(std::function<void(Bytes&, const MinidumpBuilder&)> edit) {
  MinidumpBuilder b;
  b.AddStream(7, Bytes(20, 0x77)).AddModuleList({TestModule{kStamp}, TestModule{kOther}});
  Fixture f{b.Build(), {b.RecordOffset(0, 0)}};
  edit(f.dump, b);
  return f;
}

// In Edited() dumps the module list is the second stream.
constexpr std::uint64_t kListEntry = MinidumpBuilder::DirectoryEntryOffset(1);

INSTANTIATE_TEST_SUITE_P(
    Walks, UpdateDumpModulesTest,
    testing::Values(
        DumpCase{"DuplicateMatchesInOneList", TwoMatchesInOneList, FileStatus::Ok},
        DumpCase{"TwoModuleListsBothWalked",
                 [] {
                   MinidumpBuilder b;
                   b.AddModuleList({TestModule{kOther}, TestModule{kStamp}})
                       .AddStream(3, Bytes(16, 0x33))
                       .AddModuleList({TestModule{kStamp}});
                   return Fixture{b.Build(), {b.RecordOffset(0, 1), b.RecordOffset(1, 0)}};
                 },
                 FileStatus::Ok},
        DumpCase{"RecordAlreadyHoldsTheValues",
                 [] {
                   MinidumpBuilder b;
                   b.AddModuleList({TestModule{kStamp, kIdentity.SizeOfImage, kIdentity.CheckSum}});
                   return Fixture{b.Build(), {b.RecordOffset(0, 0)}};
                 },
                 FileStatus::Ok},
        DumpCase{"ZeroStampMatchesZero",
                 [] {
                   MinidumpBuilder b;
                   b.AddModuleList({TestModule{0}, TestModule{kOther}, TestModule{0}});
                   return Fixture{b.Build(), {b.RecordOffset(0, 0), b.RecordOffset(0, 2)}};
                 },
                 FileStatus::Ok, ImageIdentity{0, 0x1000, 0x2000}},
        DumpCase{"EmptyListBesideAMatchingOne",
                 [] {
                   MinidumpBuilder b;
                   b.AddModuleList({}).AddModuleList({TestModule{kStamp}});
                   return Fixture{b.Build(), {b.RecordOffset(1, 0)}};
                 },
                 FileStatus::Ok},
        DumpCase{"NoRecordMatches",
                 [] {
                   MinidumpBuilder b;
                   b.AddModuleList({TestModule{kOther}, TestModule{0}});
                   return Fixture{b.Build(), {}};
                 },
                 FileStatus::ModuleNotFound},
        DumpCase{"NoStreams",
                 [] {
                   return Fixture{MinidumpBuilder().Build(), {}};
                 },
                 FileStatus::ModuleNotFound},
        DumpCase{"NoModuleListStream",
                 [] {
                   MinidumpBuilder b;
                   // A stream of another type whose bytes look like a matching list.
                   Bytes lookalike(4 + 108, 0);
                   Put32(lookalike, 0, 1);
                   Put32(lookalike, 4 + 16, kStamp);
                   b.AddStream(3, lookalike);
                   return Fixture{b.Build(), {}};
                 },
                 FileStatus::ModuleNotFound},
        DumpCase{"EmptyModuleList",
                 [] {
                   return Fixture{MinidumpBuilder().AddModuleList({}).Build(), {}};
                 },
                 FileStatus::ModuleNotFound},
        // DataSize is not a bound: the records are taken by the count.
        DumpCase{"DataSizeSmallerThanTheRecords",
                 [] {
                   return Edited(
                       [](Bytes& d, const MinidumpBuilder&) { Put32(d, kListEntry + 4, 4); });
                 },
                 FileStatus::Ok},
        // A list padded to 8 bytes before its records, as its DataSize says.
        DumpCase{"PaddedListMatchesItsRealRecords",
                 [] {
                   MinidumpBuilder b;
                   b.AddModuleList({TestModule{kOther, 0x2000, 0}, TestModule{kStamp, 0x3000, 0}},
                                   /*padded=*/true);
                   return Fixture{b.Build(), {b.RecordOffset(0, 1)}};
                 },
                 FileStatus::Ok},
        // Read from Rva + 4, each "stamp" would be the real CheckSum, 0, and the write
        // would land on BaseOfImage and SizeOfImage.
        DumpCase{"PaddedListIsNotMisreadFromItsPadding",
                 [] {
                   MinidumpBuilder b;
                   b.AddModuleList({TestModule{kOther, 0x2000, 0}, TestModule{kStamp, 0x3000, 0}},
                                   /*padded=*/true);
                   return Fixture{b.Build(), {}};
                 },
                 FileStatus::ModuleNotFound, ImageIdentity{0, 0x1000, 0x2000}},
        // Only a DataSize of exactly 8 + 108 n means padding; one more is the plain layout.
        DumpCase{"DataSizeOneOverPaddedMeansPlain",
                 [] {
                   MinidumpBuilder b;
                   b.AddModuleList({TestModule{kOther, 0x2000, kStamp}}, /*padded=*/true);
                   Bytes d = b.Build();
                   Put32(d, MinidumpBuilder::DirectoryEntryOffset(0) + 4, 8 + 108 + 1);
                   // Read from Rva + 4, the record's stamp is the real record's CheckSum.
                   return Fixture{d, {b.StreamOffset(0) + 4}};
                 },
                 FileStatus::Ok},
        // The matches are decided on the dump as it was: list B starts 8 bytes before a
        // matched record of list A, so its stamp is A's SizeOfImage. Once A is written,
        // that stamp would read as a match and B's write would hit A's BaseOfImage.
        DumpCase{"MatchesDecidedBeforeAnyWrite",
                 [] {
                   MinidumpBuilder b;
                   b.AddModuleList({TestModule{kOther}, TestModule{kStamp, 0x1234, 0x5678}});
                   b.AddStream(4, Bytes{});  // B: pointed into A below
                   Bytes d = b.Build();
                   const std::uint64_t a1 = b.RecordOffset(0, 1);
                   Put32(d, a1 - 12, 1);  // B's NumberOfModules, inside A's first record
                   Put32(d, MinidumpBuilder::DirectoryEntryOffset(1) + 4, 0);
                   Put32(d, MinidumpBuilder::DirectoryEntryOffset(1) + 8,
                         static_cast<std::uint32_t>(a1 - 12));
                   return Fixture{d, {a1}};
                 },
                 FileStatus::Ok, ImageIdentity{kStamp, kStamp, 0x00FACADE}}),
    [](const testing::TestParamInfo<DumpCase>& info) { return info.param.name; });

// Malformed dumps: every one must give BadFormat and leave every byte as it was, even
// when a matching record lies before the fault (the dump here matches record 0).
INSTANTIATE_TEST_SUITE_P(
    Malformed, UpdateDumpModulesTest,
    testing::Values(
        DumpCase{"NotMdmp",
                 [] {
                   return Edited([](Bytes& d, const MinidumpBuilder&) { Put32(d, 0, 0x504D444E); });
                 },
                 FileStatus::BadFormat},
        DumpCase{"ThreeBytes",
                 [] {
                   return Fixture{Bytes{'M', 'D', 'M'}, {}};
                 },
                 FileStatus::BadFormat},
        DumpCase{"HeaderOneByteShort",
                 [] {
                   Bytes d = MinidumpBuilder().Build();
                   d.resize(15);
                   return Fixture{d, {}};
                 },
                 FileStatus::BadFormat},
        DumpCase{"DirectoryOneByteShort",
                 [] {
                   return Edited([](Bytes& d, const MinidumpBuilder&) {
                     Put32(d, 12, static_cast<std::uint32_t>(d.size() - 2 * 12 + 1));
                   });
                 },
                 FileStatus::BadFormat},
        DumpCase{"DirectoryPastEnd",
                 [] {
                   return Edited([](Bytes& d, const MinidumpBuilder&) {
                     Put32(d, 12, static_cast<std::uint32_t>(d.size() + 1));
                   });
                 },
                 FileStatus::BadFormat},
        DumpCase{"HugeNumberOfStreams",
                 [] {
                   return Edited([](Bytes& d, const MinidumpBuilder&) { Put32(d, 8, 0xFFFFFFFF); });
                 },
                 FileStatus::BadFormat},
        // 12 x 0x15555556 wraps to 8 in 32 bits.
        DumpCase{"DirectorySizeWrapsIn32Bits",
                 [] {
                   return Edited([](Bytes& d, const MinidumpBuilder&) { Put32(d, 8, 0x15555556); });
                 },
                 FileStatus::BadFormat},
        DumpCase{"ListRvaPastEnd",
                 [] {
                   return Edited([](Bytes& d, const MinidumpBuilder&) {
                     Put32(d, kListEntry + 8, static_cast<std::uint32_t>(d.size()));
                   });
                 },
                 FileStatus::BadFormat},
        DumpCase{"ListCountOneByteShort",
                 [] {
                   return Edited([](Bytes& d, const MinidumpBuilder&) {
                     Put32(d, kListEntry + 8, static_cast<std::uint32_t>(d.size() - 3));
                   });
                 },
                 FileStatus::BadFormat},
        DumpCase{"ListRvaNearTopOf32Bits",
                 [] {
                   return Edited([](Bytes& d, const MinidumpBuilder&) {
                     Put32(d, kListEntry + 8, 0xFFFFFFFE);
                   });
                 },
                 FileStatus::BadFormat},
        DumpCase{"LastRecordOneByteShort",
                 [] { return Edited([](Bytes& d, const MinidumpBuilder&) { d.pop_back(); }); },
                 FileStatus::BadFormat},
        DumpCase{"HugeNumberOfModules",
                 [] {
                   return Edited([](Bytes& d, const MinidumpBuilder& b) {
                     Put32(d, b.StreamOffset(1), 0xFFFFFFFF);
                   });
                 },
                 FileStatus::BadFormat},
        // 108 x 0x025ED098 is 2^32 + 32: a 32-bit extent check would see 32 bytes.
        DumpCase{"ListExtentWrapsIn32Bits",
                 [] {
                   return Edited([](Bytes& d, const MinidumpBuilder& b) {
                     Put32(d, b.StreamOffset(1), 0x025ED098);
                   });
                 },
                 FileStatus::BadFormat},
        DumpCase{"SecondListPastEndAfterAMatch",
                 [] {
                   MinidumpBuilder b;
                   b.AddModuleList({TestModule{kStamp}}).AddModuleList({TestModule{kStamp}});
                   Bytes d = b.Build();
                   Put32(d, MinidumpBuilder::DirectoryEntryOffset(1) + 8, 0x7FFFFFFF);
                   return Fixture{d, {}};
                 },
                 FileStatus::BadFormat}),
    [](const testing::TestParamInfo<DumpCase>& info) { return info.param.name; });

// The edge cases where nothing is read: an empty directory anywhere, an empty list at the
// very end of the file.
TEST(UpdateDumpModulesEdgeTest, EmptyStructuresAreNeverRead) {
  Bytes header = MinidumpBuilder().Build();
  header.resize(16);
  Put32(header, 12, 0xFFFFFFF0);  // no streams, directory far outside
  std::vector<std::uint64_t> matches;
  EXPECT_EQ(FindMatchingModules(ConstBytes(header.data(), header.size()), kStamp, matches),
            FileStatus::ModuleNotFound);

  // A padded, empty list whose count is the file's last four bytes: its records would
  // start past the end, but there are none.
  MinidumpBuilder b;
  b.AddModuleList({}, /*padded=*/true);
  Bytes d = b.Build();
  d.resize(d.size() - 4);
  EXPECT_EQ(Get32(d, MinidumpBuilder::DirectoryEntryOffset(0) + 4), 8u);
  EXPECT_EQ(FindMatchingModules(ConstBytes(d.data(), d.size()), kStamp, matches),
            FileStatus::ModuleNotFound);
  EXPECT_TRUE(matches.empty());
}

// Dumps whose lists are named many times, overlap, or overlap out of step (a padded and a
// plain reading of one list lie 4 bytes apart, so their writes cross): the update must
// leave exactly the bytes that a plain walk of every list in turn leaves.
struct PlainWalkCase {
  const char* name;
  std::function<Bytes()> make;
};

void PrintTo(const PlainWalkCase& c, std::ostream* out) {
  *out << c.name;
}

class UpdateDumpModulesPlainWalkTest : public testing::TestWithParam<PlainWalkCase> {};

TEST_P(UpdateDumpModulesPlainWalkTest, LeavesTheBytesOfAPlainWalk) {
  const Bytes original = GetParam().make();
  Bytes expected = original;
  const test::ReferenceResult reference =
      test::ReferenceUpdate(expected, kStamp, kIdentity.SizeOfImage, kIdentity.CheckSum);
  Bytes dump = original;
  const FileStatus status =
      UpdateDumpModulesInBytes(MutableBytes(dump.data(), dump.size()), kIdentity);
  EXPECT_EQ(static_cast<int>(status), reference == test::ReferenceResult::Ok          ? 0
                                      : reference == test::ReferenceResult::BadFormat ? 2
                                                                                      : 3);
  EXPECT_TRUE(dump == expected) << "the bytes differ from a plain walk's";
  EXPECT_NE(original, expected) << "the case must change something to show anything";
}

// A list named twice more, once from its second record and once from its third, with
// NumberOfModules taken from inside the records before them.
Bytes ListNamedFromInsideItself(bool laterEntriesFirst) {
  MinidumpBuilder b;
  b.AddModuleList({TestModule{kStamp}, TestModule{kStamp}, TestModule{kOther}, TestModule{kStamp}});
  b.AddStream(4, Bytes{}).AddStream(4, Bytes{});
  Bytes d = b.Build();
  for (std::size_t entry = 1; entry <= 2; ++entry) {
    const std::uint64_t count = b.RecordOffset(0, entry) - 4;  // the previous record's end
    Put32(d, count, 2);
    Put32(d, MinidumpBuilder::DirectoryEntryOffset(laterEntriesFirst ? 3 - entry : entry) + 4, 0);
    Put32(d, MinidumpBuilder::DirectoryEntryOffset(laterEntriesFirst ? 3 - entry : entry) + 8,
          static_cast<std::uint32_t>(count));
  }
  return d;
}

INSTANTIATE_TEST_SUITE_P(
    Overlaps, UpdateDumpModulesPlainWalkTest,
    testing::Values(
        PlainWalkCase{"PlainThenPadded", [] { return test::SharedListDump(2, 12, kStamp, 3); }},
        PlainWalkCase{"PlainPaddedPlain", [] { return test::SharedListDump(3, 12, kStamp, 2); }},
        PlainWalkCase{"EveryRecordMatchesBothWays",
                      [] { return test::SharedListDump(4, 9, kStamp, 1); }},
        PlainWalkCase{"PaddedLast",
                      [] {
                        // The plain entry last: swap the first entry's DataSize into place.
                        Bytes d = test::SharedListDump(2, 10, kStamp, 2);
                        const std::uint32_t plain = test::Get32(d, 32 + 4);
                        test::Put32(d, 32 + 4, test::Get32(d, 44 + 4));
                        test::Put32(d, 44 + 4, plain);
                        return d;
                      }},
        PlainWalkCase{"ListNamedFromInsideItself", [] { return ListNamedFromInsideItself(false); }},
        PlainWalkCase{"ListNamedFromInsideItselfReversed",
                      [] { return ListNamedFromInsideItself(true); }},
        // Tens of thousands of entries naming one list of ten thousand records: a plain
        // walk reads 3e8 records, the update each of the 2e4 positions once.
        PlainWalkCase{"HostileDirectory",
                      [] { return test::SharedListDump(30000, 10000, kStamp, 7); }}),
    [](const testing::TestParamInfo<PlainWalkCase>& info) { return info.param.name; });

struct ViewFailureCase {
  const char* name;
  int failGuardedRun;
  bool flushFails;
  FileStatus status;
  bool changed;
  int flushes;
};

class UpdateDumpModulesViewTest : public testing::TestWithParam<ViewFailureCase> {};

TEST_P(UpdateDumpModulesViewTest, ReportsFaultsAndFailedFlushes) {
  const ViewFailureCase& c = GetParam();
  const Fixture fixture = TwoMatchesInOneList();
  FakeView view{fixture.dump};
  view.failGuardedRun = c.failGuardedRun;
  view.flushFails = c.flushFails;
  EXPECT_EQ(UpdateDumpModulesInView(view, kIdentity), c.status);
  EXPECT_EQ(view.flushes, c.flushes);
  EXPECT_EQ(view.bytes,
            Expected(fixture, c.changed ? FileStatus::Ok : FileStatus::BadFormat, kIdentity));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, UpdateDumpModulesViewTest,
    testing::Values(ViewFailureCase{"FaultWhileReading", 1, false, FileStatus::BadFormat, false, 0},
                    ViewFailureCase{"FaultWhileWriting", 2, false, FileStatus::CannotWrite, false,
                                    0},
                    ViewFailureCase{"FlushFails", 0, true, FileStatus::CannotWrite, true, 1},
                    ViewFailureCase{"AllWell", 0, false, FileStatus::Ok, true, 1}),
    [](const testing::TestParamInfo<ViewFailureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace corvinade
