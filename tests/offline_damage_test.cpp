// Damaged hives offline: a hive whose header and data disagree, or that
// libhivex cannot read, is named in one report line, left as it is and never
// taken as holding nothing to clean; the file scan goes on.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "samples/byte_fields.h"
#include "tests/support/offline_fixture.h"

namespace {

const char* const kSoftware = "C:\\Windows\\System32\\config\\SOFTWARE     registry hive is damaged: ";

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// One way a hive is damaged: the change made to its bytes, and the reason the
// report gives for it.
struct Damage {
  const char* name;
  std::function<std::string(std::vector<uint8_t>&)> apply;  // returns the reason
};

constexpr size_t kBins = 0x1000;

const Damage kDamages[] = {
    {"CutShort",
     [](std::vector<uint8_t>& hive) {
       const uint32_t data = get32(hive, 0x28);
       hive.resize(kBins + data / 2 / 4096 * 4096);
       return "the header gives " + std::to_string(data) + " bytes of data, the file holds only " +
              std::to_string(hive.size() - kBins);
     }},
    {"HeaderChecksum",
     [](std::vector<uint8_t>& hive) {
       hive[0x10] ^= 0x01;  // the time it was last written, the checksum left as it was
       return std::string("the header's checksum does not match the header");
     }},
    {"BinOutOfPlace",
     [](std::vector<uint8_t>& hive) {
       const uint32_t second = get32(hive, kBins + 0x08);
       hive[kBins + second] = 'x';  // "xbin"
       return "no bin begins at data offset " + hex(second) + " where the bins before it end";
     }},
    {"CellOutsideItsBin",
     [](std::vector<uint8_t>& hive) {
       const uint32_t second = get32(hive, kBins + 0x08);
       put32(hive, kBins + second + 0x20, 0x7FFFFFF8);
       return "the cell at data offset " + hex(second + 0x20) +
              " gives a size of 2147483640 bytes, which does not fit its bin";
     }},
    {"SubkeyListOutsideTheData",
     [](std::vector<uint8_t>& hive) {
       // The root key's list of subkeys points past the end: libhivex opens
       // the hive and fails only when it reads the list.
       const uint32_t root = get32(hive, 0x24);
       put32(hive, kBins + root + 4 + 0x1C, 0x7FFFFFF0);
       return std::string("libhivex cannot read the subkeys of the root key");
     }},
};

}  // namespace

class OfflineDamage : public OfflineFixture, public ::testing::WithParamInterface<Damage> {};

TEST_P(OfflineDamage, HiveIsNamedLeftUnchangedAndNotTakenAsClean) {
  // Several bins, as any real hive has.
  const std::string windows = mapDrive('Q') + "/Windows";
  ASSERT_TRUE(plantInstallation(windows, 300));
  std::filesystem::copy_file(windows + "/System32/config/SOFTWARE", config("SOFTWARE"),
                             std::filesystem::copy_options::overwrite_existing);
  ASSERT_TRUE(plantEvilRunValue(config("SOFTWARE")));
  std::vector<uint8_t> hive = fileBytes(config("SOFTWARE"));
  const std::string reason = GetParam().apply(hive);
  writeBytes(config("SOFTWARE"), hive);
  const std::vector<std::string> listing = folderListing(config(""));
  plantInfected("C:\\Evil\\evil.exe");
  plantInfected("C:\\Other\\other.exe");
  runScan();

  EXPECT_EQ(count(kSoftware + reason + "; its entries are not checked, and it is left unchanged"), 1)
      << ::testing::PrintToString(lines);
  EXPECT_FALSE(reported(kRemoved)) << "the start-up value is not known to be gone";
  EXPECT_EQ(fileBytes(config("SOFTWARE")), hive);
  EXPECT_EQ(folderListing(config("")), listing) << "no backup, no new hive";
  EXPECT_TRUE(reported("C:\\Other\\other.exe     W32/Tarvolinex.Bej.Ransom.Trojan removed"))
      << "the file scan goes on";
}

INSTANTIATE_TEST_SUITE_P(Offline, OfflineDamage, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                           return std::string(info.param.name);
                         });
