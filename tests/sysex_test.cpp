// SysEx: a patch's checks, the dumps that carry patches, and .syx files
// read as banks, against bytes spelled out here and the bank builder's.

#include <gtest/gtest.h>

#include <memory>
#include <numeric>

#include "core/messages.h"
#include "core/sysex.h"
#include "tests/bank_builder.h"
#include "tests/tables.h"
#include "tests/test_util.h"

namespace {

// A patch whose common block (bytes 1 to 81) and sources add up to `sums`,
// the first of them the common block's.
std::vector<unsigned char> summing_to(const std::vector<int>& sums) {
  std::vector<unsigned char> patch(kPatchFixedSize + kSourceSize * (sums.size() - 1), 0);
  patch[kSourceCountOffset] = static_cast<unsigned char>(sums.size() - 1);
  for (std::size_t part = 0; part < sums.size(); ++part) {
    const std::size_t from = part == 0 ? 1 : kPatchFixedSize + kSourceSize * (part - 1);
    const std::size_t to = part == 0 ? kPatchFixedSize : from + kSourceSize;
    int left = sums[part] - (part == 0 ? static_cast<int>(patch[kSourceCountOffset]) : 0);
    for (std::size_t i = from; i < to && left > 0; ++i) {
      if (i == kSourceCountOffset) continue;
      patch[i] = static_cast<unsigned char>(std::min(left, 0x7F));
      left -= patch[i];
    }
  }
  return patch;
}

TEST(Checksum, AsTheInstrumentWorksItOut) {
  // The worked example of a patch dumped by an instrument: 2 sources.
  EXPECT_EQ(patch_checksum(summing_to({2850, 3732, 3758}).data(), 2), 0x09);
  EXPECT_EQ(patch_checksum(summing_to({0}).data(), 0), 0x25);  // 0xA5, 7 bits
  // The kit's: its bytes 1 to 805 and 0xA5, 7 bits; byte 0 is left out.
  std::vector<unsigned char> kit(kKitSize, 0);
  kit[0] = 0x7F;
  kit[805] = 0x5B;
  EXPECT_EQ(kit_checksum(kit.data()), 0x00);  // 0x5B + 0xA5 = 0x100
}

TEST(ToneMap, BitJOfByteIStandsForTone7IPlusJ) {
  const std::vector<std::pair<std::vector<int>, std::map<std::size_t, unsigned char>>> cases{
      {{}, {}},
      {{0, 6, 7, 125, 126, 127}, {{0, 0x41}, {1, 0x01}, {17, 0x40}, {18, 0x03}}},
      {[] { std::vector<int> all(128); std::iota(all.begin(), all.end(), 0); return all; }(),
       {{0, 0x7F}, {1, 0x7F}, {2, 0x7F}, {3, 0x7F}, {4, 0x7F}, {5, 0x7F}, {6, 0x7F}, {7, 0x7F},
        {8, 0x7F}, {9, 0x7F}, {10, 0x7F}, {11, 0x7F}, {12, 0x7F}, {13, 0x7F}, {14, 0x7F},
        {15, 0x7F}, {16, 0x7F}, {17, 0x7F}, {18, 0x03}}},
  };
  for (const auto& [tones, set] : cases) {
    const auto map = tone_map(tones);
    for (std::size_t i = 0; i < map.size(); ++i) {
      EXPECT_EQ(map[i], set.count(i) ? set.at(i) : 0) << "byte " << i << " of " << tones.size();
    }
  }
}

TEST(OneSingleDump, GoesToTheBankToneAndChannelGiven) {
  const std::vector<unsigned char> patch = patch_bytes({.slot = 2, .name = "Pad", .sources = 1, .kits = "A"});
  const std::vector<std::pair<DumpTarget, std::vector<unsigned char>>> cases{
      {{DumpBank::kA, 0, 0}, {0xF0, 0x40, 0x00, 0x20, 0x00, 0x0A, 0x00, 0x00, 0x00}},
      {{DumpBank::kD, 127, 15}, {0xF0, 0x40, 0x0F, 0x20, 0x00, 0x0A, 0x00, 0x02, 0x7F}},
      {{DumpBank::kE, 5, 0}, {0xF0, 0x40, 0x00, 0x20, 0x00, 0x0A, 0x00, 0x03, 0x05}},
      {{DumpBank::kF, 64, 15}, {0xF0, 0x40, 0x0F, 0x20, 0x00, 0x0A, 0x00, 0x04, 0x40}},
  };
  for (const auto& [target, header] : cases) {
    std::vector<unsigned char> want = header;
    want.insert(want.end(), patch.begin(), patch.end());
    want.push_back(0xF7);
    EXPECT_EQ(one_single_dump(target, patch.data(), patch.size()), want) << bank_letter(target.bank);
    EXPECT_EQ(want, one_single_bytes(static_cast<int>(target.bank), target.channel, target.tone, patch));
  }
}

// A bank whose patches sit where tone maps go wrong, of every shape.
const TestBank kEdges{.patches = {
    {.slot = 0, .name = "Zero", .sources = 1, .kits = "A"},
    {.slot = 6, .name = "Six", .sources = 2, .kits = "PA"},
    {.slot = 7, .name = "Seven", .sources = 3, .kits = "PPP"},
    {.slot = 125, .name = "Late", .sources = 6, .kits = "AAAAAA"},
    {.slot = 126, .name = "Later", .sources = 0},
    {.slot = 127, .name = "Last", .sources = 4, .kits = "APAP"}}};

// A bank's block dump holds its patches at their slots, and reads back as
// the same patches, byte for byte.
TEST(BlockDump, OfABankReadsBackAsTheSamePatches) {
  auto image = std::make_unique<BankImage>();
  BankRefusal why;
  ASSERT_TRUE(load_bytes(build_bank(kEdges), *image, &why));
  std::vector<TonePatch> patches;
  std::vector<std::pair<int, std::vector<unsigned char>>> want;
  for (int i = image->count - 1; i >= 0; --i) {  // the dump puts them in order itself
    const PatchEntry& e = stored_patch(*image, i);
    patches.push_back({e.slot, &image->data[e.offset], static_cast<std::size_t>(e.size)});
  }
  for (const TestPatch& p : kEdges.patches) want.emplace_back(p.slot, patch_bytes(p));
  const std::vector<unsigned char> dump = block_dump(DumpBank::kE, 9, patches);
  ASSERT_EQ(dump, block_bytes(3, 9, want));

  auto read = std::make_unique<BankImage>();
  SysExNotes notes;
  ASSERT_TRUE(load_sysex(*read, dump.data(), dump.size(), &why, &notes)) << refusal_words(why);
  ASSERT_EQ(read->count, static_cast<int>(kEdges.patches.size()));
  for (std::size_t i = 0; i < kEdges.patches.size(); ++i) {
    const PatchEntry& e = stored_patch(*read, static_cast<int>(i));
    const PatchEntry& was = stored_patch(*image, static_cast<int>(i));
    EXPECT_EQ(e.slot, kEdges.patches[i].slot);
    EXPECT_EQ(std::string(e.source_map.data()), std::string(was.source_map.data())) << e.slot;
    EXPECT_EQ(std::vector<unsigned char>(&read->data[e.offset], &read->data[e.offset] + e.size),
              want[i].second) << e.slot;
  }
  EXPECT_EQ(read->entries[kEndSentinel].offset, image->entries[kEndSentinel].offset);
  EXPECT_EQ(notes.skipped, 0);
}

// One-single dumps are a bank of those patches; a tone given twice keeps
// the later, and messages that are no patch are counted.
TEST(LoadSysEx, OneSinglesAreABankOfThosePatches) {
  const TestPatch first{.slot = 9, .name = "First", .sources = 1, .kits = "P"};
  const TestPatch again{.slot = 9, .name = "Again", .sources = 2, .kits = "AA"};
  const TestPatch low{.slot = 2, .name = "Low", .sources = 1, .kits = "A"};
  std::vector<unsigned char> file = {0xF0, 0x43, 0x10, 0xF7};  // another maker's
  for (const auto& [tone, p] : std::vector<std::pair<int, TestPatch>>{{9, first}, {2, low}, {9, again}}) {
    const auto dump = one_single_bytes(3, 15, tone, patch_bytes(p));
    file.insert(file.end(), dump.begin(), dump.end());
  }
  const std::vector<unsigned char> multi = {0xF0, 0x40, 0x00, 0x20, 0x00, 0x0A, 0x20, 0x00, 0xF7};
  file.insert(file.end(), multi.begin(), multi.end());
  auto image = std::make_unique<BankImage>();
  BankRefusal why;
  SysExNotes notes;
  ASSERT_TRUE(load_sysex(*image, file.data(), file.size(), &why, &notes)) << refusal_words(why);
  ASSERT_EQ(image->count, 2);
  EXPECT_EQ(stored_patch(*image, 0).slot, 2);
  EXPECT_EQ(stored_patch(*image, 1).slot, 9);
  EXPECT_EQ(std::string(stored_patch(*image, 1).source_map.data()), "AA----");
  EXPECT_EQ(std::vector<unsigned char>(&image->data[stored_patch(*image, 1).offset],
                                       &image->data[stored_patch(*image, 1).offset] + 1866),
            patch_bytes(again));
  EXPECT_EQ(free_bytes(*image), kMemorySize - 974 - 1866);
  EXPECT_EQ(notes.skipped, 2);
  ASSERT_EQ(notes.replaced.size(), 1u);
  EXPECT_EQ(notes.replaced[0], std::make_pair(10, std::string("First   ")));
}

// What the instrument answers a dump, on the channel it was sent on, among
// what else came; and the requests for a dump, byte for byte.
TEST(Midi, AnswersAndRequests) {
  const auto answer = [](unsigned char code, unsigned char channel) {
    return std::vector<unsigned char>{0xF0, 0x40, channel, code, 0x00, 0x0A, 0xF7};
  };
  const std::vector<std::pair<std::vector<unsigned char>, Answer>> cases{
      {{}, Answer::kNone},
      {answer(0x40, 3), Answer::kWritten},
      {answer(0x41, 3), Answer::kWriteError},
      {answer(0x42, 3), Answer::kProtected},
      {answer(0x44, 3), Answer::kFull},
      {answer(0x45, 3), Answer::kNoExpansion},
      {answer(0x40, 4), Answer::kNone},         // another channel's
      {answer(0x43, 3), Answer::kNone},         // no answer of a dump
      {{0xF0, 0x40, 0x03, 0x40, 0x00, 0x0A}, Answer::kNone},  // not ended yet
      {one_single_bytes(0, 3, 1, {0x01}), Answer::kNone},
  };
  for (const auto& [bytes, want] : cases) {
    EXPECT_EQ(dump_answer(bytes.data(), bytes.size(), 3), want) << bytes.size();
  }
  EXPECT_EQ(patch_request({DumpBank::kF, 4, 15}),
            (std::vector<unsigned char>{0xF0, 0x40, 0x0F, 0x00, 0x00, 0x0A, 0x00, 0x04, 0x04, 0xF7}));
  EXPECT_EQ(bank_request(DumpBank::kD, 0),
            (std::vector<unsigned char>{0xF0, 0x40, 0x00, 0x01, 0x00, 0x0A, 0x00, 0x02, 0x00, 0xF7}));
}

class RefuseSysEx : public testing::TestWithParam<DamagedSysEx> {};

TEST_P(RefuseSysEx, WithItsOwnWords) {
  const DamagedSysEx& c = GetParam();
  auto image = std::make_unique<BankImage>();
  BankRefusal why;
  SysExNotes notes;
  ASSERT_FALSE(load_sysex(*image, c.bytes.data(), c.bytes.size(), &why, &notes));
  EXPECT_EQ(refusal_words(why), c.words);
  const bool cut = why.kind == Refusal::kNoEnd;
  EXPECT_EQ(cut ? image->count : 0, c.rescued);
}

INSTANTIATE_TEST_SUITE_P(Files, RefuseSysEx, testing::ValuesIn(damaged_sysex()), NameByWhat());

// What a patch's checks say, and whether a dump may carry it.
TEST(CheckPatch, SaysWhatIsWrongAndChangesNothing) {
  const std::string refuse = ": the instrument would refuse it, or the patch is damaged";
  const std::vector<std::tuple<TestPatch, std::string, bool>> cases{
      {{.name = "Fine", .sources = 2, .kits = "AP"}, "", true},
      {{.name = "Sum", .sources = 1, .kits = "P", .spoil = Spoil::kChecksum},
       "its checksum does not match" + refuse, true},
      {{.name = "Kit", .sources = 3, .kits = "PAA", .spoil = Spoil::kKitChecksum},
       "the checksum of its additive kit 1 does not match" + refuse, true},
      {{.name = "Caf\xE9", .sources = 1, .kits = "P"}, "its name holds \xC3\xA9, which MIDI cannot carry",
       false},
      {{.name = "Wave", .sources = 2, .kits = "AA", .spoil = Spoil::kWaveKit},
       "its sources make it 1060 bytes long, not the bank's: the instrument would read it wrongly", false},
  };
  for (const auto& [patch, words, dumpable] : cases) {
    const std::vector<unsigned char> bytes = patch_bytes(patch);
    const PatchCheck check = check_patch(bytes.data(), bytes.size(), patch.sources);
    EXPECT_EQ(check_words(check), words) << patch.name;
    EXPECT_EQ(may_dump(check), dumpable) << patch.name;
    EXPECT_EQ(fails_a_check(check), !words.empty()) << patch.name;
  }
  // A byte that is no MIDI data outside the name says where it is.
  std::vector<unsigned char> bytes = patch_bytes({.name = "Odd", .sources = 1, .kits = "P"});
  bytes[100] = 0x9A;
  EXPECT_EQ(check_words(check_patch(bytes.data(), bytes.size(), 1)),
            "its checksum does not match" + refuse +
                "; its byte 100 is 0x9A, which MIDI cannot carry: it did not come from the instrument as it is");
}

}  // namespace
