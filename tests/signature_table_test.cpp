// Checks the committed signature tables (res/signatures.dat, res/uu_signature.dat)
// and the table reader that the tools and tests share.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/signature_record.h"
#include "tests/support/res_file.h"
#include "tools/sigtable_stats.h"

namespace {

// The 108 stored bytes of a record, written out field by field by hand so that
// the expectation does not share code with the reader.
std::vector<uint8_t> storedRecord(const std::string& name, int32_t firstOffset,
                                  const std::vector<uint8_t>& firstPattern, int32_t secondOffset,
                                  const std::vector<uint8_t>& secondPattern, int32_t fileSize) {
  std::vector<uint8_t> out(108, 0);
  std::copy(name.begin(), name.end(), out.begin());
  auto le32 = [&out](size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
  };
  le32(50, firstOffset);
  std::copy(firstPattern.begin(), firstPattern.end(), out.begin() + 54);
  le32(75, secondOffset);
  std::copy(secondPattern.begin(), secondPattern.end(), out.begin() + 79);
  le32(100, fileSize);
  le32(104, 1);
  return out;
}

struct PublishedRow {
  const char* name;
  int32_t firstOffset;
  std::vector<uint8_t> firstPattern;
  int32_t secondOffset;
  std::vector<uint8_t> secondPattern;
  int32_t fileSize;
};

const std::vector<PublishedRow>& publishedRows() {
  static const std::vector<PublishedRow> rows = {
      {"W32/Tarvolinex.Bej.Ransom.Trojan", -30884,
       {0x61, 0x5c, 0xba, 0x8a, 0x27, 0xb9, 0xa1, 0xca, 0x00, 0x2a, 0xd5, 0xf6, 0xdb, 0x6e, 0x85, 0xb7, 0xa3, 0x65, 0x00, 0xab},
       91,
       {0x07, 0x8b, 0x1e, 0x83, 0xee, 0xfc, 0x11, 0xdb, 0x11, 0xc9, 0x01, 0xdb, 0x75, 0x07, 0x8b, 0x1e, 0x83, 0xee, 0xfc, 0x11},
       38400},
      {"W32/Tarvolinex.Cce.Trojan", -7568,
       {0x89, 0x3d, 0xca, 0x75, 0x40, 0x00, 0x3b, 0x5d, 0xfc, 0x8b, 0x35, 0xd6, 0x75, 0x40, 0x00, 0x8b, 0x0d, 0xe9, 0x71, 0x40},
       39712,
       {0xe9, 0xde, 0xc1, 0x33, 0x69, 0xe0, 0x96, 0xac, 0x22, 0x54, 0x66, 0xf7, 0xdd, 0xf2, 0xf8, 0xfb, 0x31, 0xe8, 0xa1, 0xa8},
       52736},
      {"W32/Tarvolinex.Can.Trojan", 4759,
       {0xc7, 0x44, 0x24, 0x20, 0x8c, 0xef, 0xff, 0xff, 0x89, 0x5c, 0x24, 0x38, 0x89, 0x5c, 0x24, 0x3c, 0x68, 0xa0, 0x93, 0x40},
       23111,
       {0x8c, 0xfe, 0xfc, 0xfe, 0xe0, 0x23, 0xe7, 0x22, 0x85, 0xfe, 0xc5, 0xfe, 0x8c, 0xfe, 0x3c, 0xfd, 0x81, 0xfe, 0xc3, 0xfe},
       51712},
      {"W32/Tarvolinex.Bbo.Trojan", -15392,
       {0xa2, 0xd5, 0x21, 0xe5, 0x9a, 0x24, 0xcf, 0xd0, 0xd4, 0xbf, 0xbe, 0xf4, 0xdf, 0xfe, 0xcf, 0x79, 0x90, 0xbe, 0x98, 0x34},
       -4496,
       {0xe1, 0x8f, 0x76, 0xec, 0x23, 0x3b, 0x3f, 0x38, 0xd0, 0xfd, 0xe6, 0x25, 0x7e, 0xc5, 0xc0, 0xc7, 0xb8, 0xbc, 0xf7, 0xe6},
       28672},
  };
  return rows;
}

size_t countOf(const std::map<size_t, size_t>& m, size_t key) {
  const auto it = m.find(key);
  return it == m.end() ? 0 : it->second;
}

class ShippedTable : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = readRes("signatures.dat");
    table_ = sigtable::parseTable(bytes_.data(), bytes_.size());
  }
  std::vector<uint8_t> bytes_;
  sigtable::ParsedTable table_;
};

TEST_F(ShippedTable, IsWellFormedWithEndRecordLast) {
  ASSERT_EQ(bytes_.size(), (kSignatureCount + 1) * 108u);
  EXPECT_TRUE(table_.valid()) << (table_.errors.empty() ? "" : table_.errors.front());
  EXPECT_TRUE(table_.warnings.empty());
  ASSERT_EQ(table_.records.size(), static_cast<size_t>(kSignatureCount));
  EXPECT_TRUE(std::all_of(bytes_.end() - 108, bytes_.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(ShippedTable, HasTheShapeOfTheRealTable) {
  const sigtable::TableStats s = sigtable::computeStats(table_.records);
  EXPECT_EQ(s.records, 1732u);
  EXPECT_EQ(s.ransomNames, 1676u);
  EXPECT_EQ(s.plainNames, 56u);
  EXPECT_EQ(s.otherNames, 0u);
  EXPECT_EQ(countOf(s.ransomTagLengths, 2), 3u);
  EXPECT_EQ(countOf(s.ransomTagLengths, 3), 501u);
  EXPECT_EQ(countOf(s.ransomTagLengths, 4), 1172u);
  EXPECT_EQ(countOf(s.plainTagLengths, 3), 45u);
  EXPECT_EQ(countOf(s.plainTagLengths, 4), 11u);
  EXPECT_EQ(s.minNameLength, 25u);
  EXPECT_EQ(s.maxNameLength, 33u);
  EXPECT_EQ(s.distinctNames, 1697u);
  EXPECT_EQ(s.repeatedNames, 14u);
  EXPECT_EQ(s.largestGroup, 14u);
  EXPECT_EQ(s.firstNegative, 1571u);
  EXPECT_EQ(s.secondNegative, 21u);
  EXPECT_EQ(s.minOffset, -177013);
  EXPECT_EQ(s.maxOffset, 438221);
  EXPECT_EQ(s.firstPatternsWithZero, 1024u);
  EXPECT_EQ(s.minSize, 20199);
  EXPECT_EQ(s.maxSize, 8335223);
  EXPECT_EQ(s.ruleCounts.size(), 1u);
  EXPECT_EQ(s.ruleCounts.count(1), 1u);
  EXPECT_EQ(s.duplicateSignatures, 0u);
}

TEST_F(ShippedTable, PublishedRowsAreStoredVerbatim) {
  ASSERT_EQ(table_.records.size(), static_cast<size_t>(kSignatureCount));
  const std::vector<PublishedRow>& rows = publishedRows();
  for (size_t r = 0; r < rows.size(); ++r) {
    const PublishedRow& row = rows[r];
    const std::vector<uint8_t> expected = storedRecord(row.name, row.firstOffset, row.firstPattern,
                                                       row.secondOffset, row.secondPattern, row.fileSize);
    std::vector<size_t> at;
    for (size_t i = 0; i < table_.records.size(); ++i) {
      if (sigtable::recordName(table_.records[i]) == row.name) at.push_back(i);
    }
    ASSERT_EQ(at.size(), 1u) << row.name;
    // The Bej row decides the detection name for its files, so it must come first.
    if (r == 0) EXPECT_EQ(at[0], 0u);
    else EXPECT_GT(at[0], 0u) << row.name;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes_.begin() + at[0] * 108)) << row.name;
  }
  const uint8_t firstOffset[] = {0x5c, 0x87, 0xff, 0xff};
  const uint8_t secondOffset[] = {0x5b, 0x00, 0x00, 0x00};
  const uint8_t fileSize[] = {0x00, 0x96, 0x00, 0x00};
  const uint8_t sizeRule[] = {0x01, 0x00, 0x00, 0x00};
  EXPECT_TRUE(std::equal(firstOffset, firstOffset + 4, bytes_.begin() + 50));
  EXPECT_EQ(bytes_[74], 0);
  EXPECT_TRUE(std::equal(secondOffset, secondOffset + 4, bytes_.begin() + 75));
  EXPECT_EQ(bytes_[99], 0);
  EXPECT_TRUE(std::equal(fileSize, fileSize + 4, bytes_.begin() + 100));
  EXPECT_TRUE(std::equal(sizeRule, sizeRule + 4, bytes_.begin() + 104));
}

// Stand-in records must be usable by the synthetic-sample writer: both
// patterns fit inside a file of the record's size, in order, without overlap.
TEST_F(ShippedTable, PatternsFitInsideTheirFiles) {
  for (size_t i = 0; i < table_.records.size(); ++i) {
    const SignatureRecord& r = table_.records[i];
    const long long first = r.firstOffset, second = r.secondOffset, size = r.fileSize;
    EXPECT_LT(std::llabs(first), size) << "record " << i;
    EXPECT_LT(std::llabs(second), size) << "record " << i;
    EXPECT_GE(second - first, 20) << "record " << i;
  }
}

TEST_F(ShippedTable, OrderIsNotAlphabetical) {
  std::vector<std::string> names;
  for (const SignatureRecord& r : table_.records) names.push_back(sigtable::recordName(r));
  EXPECT_FALSE(std::is_sorted(names.begin(), names.end()));
}

TEST(UuSignatureFile, HoldsTheOneScrambledRecord) {
  const std::vector<uint8_t> b = readRes("uu_signature.dat");
  ASSERT_EQ(b.size(), 170u);
  const std::string name = "W32/Nyxem.Worm";
  EXPECT_TRUE(std::equal(name.begin(), name.end(), b.begin()));
  EXPECT_TRUE(std::all_of(b.begin() + name.size(), b.begin() + 25, [](uint8_t c) { return c == 0; }));
  const std::vector<uint8_t> fields(b.begin() + 25, b.begin() + 35);
  EXPECT_EQ(fields, (std::vector<uint8_t>{0x9a, 0x0b, 0x02, 0x00, 0x60, 0x07, 0x64, 0x00, 0x00, 0x00}));
  const std::vector<uint8_t> tail(b.begin() + 135, b.begin() + 143);
  EXPECT_EQ(tail, (std::vector<uint8_t>{0x01, 0x00, 0x04, 0x00, 0x12, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(std::all_of(b.begin() + 143, b.end(), [](uint8_t c) { return c == 0; }));
  for (size_t i = 35; i < 135; ++i) {
    const uint8_t plain = static_cast<uint8_t>(b[i] ^ kUuPatternKey);
    EXPECT_TRUE(plain >= 0x21 && plain <= 0x60) << "pattern byte " << (i - 35);
  }
  const UuSignatureRecord r = sigtable::decodeUuRecord(b.data());
  // Copies: the assertion macros take references, which packed fields cannot give.
  const int32_t size = r.size;
  const int16_t rule = r.uuSizeRule;
  EXPECT_EQ(size, 134042);
  EXPECT_EQ(rule, 18);
}

// ---- the reader on damaged images ------------------------------------------

std::vector<uint8_t> smallImage() {
  std::vector<uint8_t> img;
  for (const PublishedRow& row : publishedRows()) {
    const std::vector<uint8_t> rec = storedRecord(row.name, row.firstOffset, row.firstPattern,
                                                  row.secondOffset, row.secondPattern, row.fileSize);
    img.insert(img.end(), rec.begin(), rec.end());
  }
  img.insert(img.end(), 108, 0);
  return img;
}

struct Damage {
  const char* what;
  void (*apply)(std::vector<uint8_t>&);
  bool valid;
};

const Damage kDamages[] = {
    {"untouched", [](std::vector<uint8_t>&) {}, true},
    {"size rule 2", [](std::vector<uint8_t>& b) { b[108 + 104] = 2; }, true},
    {"size rule 3", [](std::vector<uint8_t>& b) { b[108 + 104] = 3; }, true},
    {"size rule 0", [](std::vector<uint8_t>& b) { b[108 + 104] = 0; }, false},
    {"size rule 4", [](std::vector<uint8_t>& b) { b[108 + 104] = 4; }, false},
    {"size rule 257", [](std::vector<uint8_t>& b) { b[108 + 105] = 1; }, false},
    {"first terminator", [](std::vector<uint8_t>& b) { b[74] = 1; }, false},
    {"second terminator", [](std::vector<uint8_t>& b) { b[2 * 108 + 99] = 0x80; }, false},
    {"unprintable name", [](std::vector<uint8_t>& b) { b[3] = 0x07; }, false},
    {"name without NUL", [](std::vector<uint8_t>& b) { std::fill(b.begin(), b.begin() + 50, 'A'); }, false},
    {"name not zero-padded", [](std::vector<uint8_t>& b) { b[49] = 'x'; }, false},
    {"trailing partial record", [](std::vector<uint8_t>& b) { b.push_back(0); }, false},
    {"no end record", [](std::vector<uint8_t>& b) { b.resize(b.size() - 108); }, false},
    {"end record not last", [](std::vector<uint8_t>& b) {
       std::vector<uint8_t> copy(b.begin(), b.begin() + 108);
       b.insert(b.end(), copy.begin(), copy.end());
     }, false},
    {"end record in the middle", [](std::vector<uint8_t>& b) { b[2 * 108] = 0; }, false},
};

TEST(TableReader, RejectsEachFormatFault) {
  for (const Damage& d : kDamages) {
    std::vector<uint8_t> img = smallImage();
    d.apply(img);
    const sigtable::ParsedTable t = sigtable::parseTable(img.data(), img.size());
    EXPECT_EQ(t.valid(), d.valid) << d.what;
  }
}

TEST(TableReader, StopsAtTheEndRecordAndDecodesFields) {
  std::vector<uint8_t> img = smallImage();
  img[2 * 108] = 0;  // the third record becomes the end record
  const sigtable::ParsedTable t = sigtable::parseTable(img.data(), img.size());
  ASSERT_EQ(t.records.size(), 2u);
  const int32_t firstOffset = t.records[0].firstOffset;
  const int32_t secondOffset = t.records[1].secondOffset;
  const int32_t fileSize = t.records[1].fileSize;
  EXPECT_EQ(firstOffset, -30884);
  EXPECT_EQ(secondOffset, 39712);
  EXPECT_EQ(fileSize, 52736);

  uint8_t again[108];
  sigtable::encodeRecord(t.records[0], again);
  EXPECT_TRUE(std::equal(again, again + 108, img.begin()));
}

TEST(TableReader, SplitsNamesIntoShapeAndTag) {
  struct Case {
    const char* name;
    sigtable::NameShape shape;
    const char* tag;
  };
  const Case cases[] = {
      {"W32/Tarvolinex.Bej.Ransom.Trojan", sigtable::NameShape::Ransom, "Bej"},
      {"W32/Tarvolinex.Ab.Ransom.Trojan", sigtable::NameShape::Ransom, "Ab"},
      {"W32/Tarvolinex.Cce.Trojan", sigtable::NameShape::Plain, "Cce"},
      {"W32/Tarvolinex.BEj.Trojan", sigtable::NameShape::Other, ""},
      {"W32/Tarvolinex.bej.Trojan", sigtable::NameShape::Other, ""},
      {"W32/Tarvolinex.B.Ransom.Trojan", sigtable::NameShape::Other, ""},
      {"W32/Tarvolinex.Be1.Trojan", sigtable::NameShape::Other, ""},
      {"W32/Tarvolinex.Bej.Worm", sigtable::NameShape::Other, ""},
      {"W32/Tarvolinex.Trojan ", sigtable::NameShape::Other, ""},
      {"W32/Nyxem.Worm", sigtable::NameShape::Other, ""},
  };
  for (const Case& c : cases) {
    const sigtable::TaggedName p = sigtable::splitName(c.name);
    EXPECT_EQ(p.shape, c.shape) << c.name;
    EXPECT_EQ(p.tag, c.tag) << c.name;
  }
}

TEST(TableReader, CountsRepeatedNamesAndSignaturesPerRecord) {
  std::vector<uint8_t> img = smallImage();
  img.resize(img.size() - 108);
  // Two more copies of the Bej record: one name on three records, and two
  // records that repeat an earlier signature.
  img.insert(img.end(), img.begin(), img.begin() + 108);
  img.insert(img.end(), img.begin(), img.begin() + 108);
  img.insert(img.end(), 108, 0);
  const sigtable::ParsedTable t = sigtable::parseTable(img.data(), img.size());
  const sigtable::TableStats s = sigtable::computeStats(t.records);
  EXPECT_EQ(s.records, 6u);
  EXPECT_EQ(s.distinctNames, 4u);
  EXPECT_EQ(s.repeatedNames, 1u);
  EXPECT_EQ(s.largestGroup, 3u);
  EXPECT_EQ(s.duplicateSignatures, 2u);
  EXPECT_EQ(countOf(s.ransomTagLengths, 3), 3u);
  EXPECT_EQ(s.firstPatternsWithZero, 4u);  // Bej three times, Cce once
  EXPECT_EQ(s.firstNegative, 5u);
  EXPECT_EQ(s.secondNegative, 1u);
  EXPECT_EQ(s.minOffset, -30884);
  EXPECT_EQ(s.maxOffset, 39712);
}

}  // namespace
