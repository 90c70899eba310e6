#include "tests/support/offline_fixture.h"

#include <hivex.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/offline/hive_text.h"
#include "tests/support/child_process.h"

namespace {
namespace fs = std::filesystem;
const char* const kRegfexport = "/usr/bin/regfexport";
}  // namespace

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<uint8_t> fileBytes(const std::string& path) {
  const std::string bytes = bytesOf(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> folderListing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

bool hivexValues(const std::string& file, const std::string& keyPath,
                 std::map<std::string, std::string>* values) {
  hive_h* hive = hivex_open(file.c_str(), 0);
  if (!hive) return false;
  hive_node_h node = hivex_root(hive);
  std::stringstream parts(keyPath);
  for (std::string part; node && std::getline(parts, part, '\\');)
    node = hivex_node_get_child(hive, node, part.c_str());
  hive_value_h* list = node ? hivex_node_values(hive, node) : nullptr;
  for (hive_value_h* value = list; value && *value; ++value) {
    char* name = hivex_value_key(hive, *value);
    hive_type type;
    size_t length = 0;
    char* data = hivex_value_value(hive, *value, &type, &length);
    std::string text(data, length);
    if (type == hive_t_REG_SZ || type == hive_t_REG_EXPAND_SZ || type == hive_t_REG_MULTI_SZ) {
      text = utf16ToUtf8(reinterpret_cast<const uint8_t*>(data), length);
      if (type != hive_t_REG_MULTI_SZ) text = text.substr(0, text.find('\0'));
    }
    (*values)[name] = text;
    free(name);
    free(data);
  }
  free(list);
  hivex_close(hive);
  return node != 0;
}

std::vector<std::string> namesOf(const std::map<std::string, std::string>& values) {
  std::vector<std::string> names;
  for (const auto& value : values) names.push_back(value.first);
  return names;
}

std::string regfexport(const std::string& file) {
  ChildOutcome run = runChild(kRegfexport, {file});
  EXPECT_EQ(run.exitCode, 0) << "regfexport cannot read " << file << ":\n" << run.err;
  return run.out;
}

std::string exportedKey(const std::string& listing, const std::string& keyPath) {
  const std::string header = "Key path: ROOT\\" + keyPath + "\n";
  size_t start = listing.find(header);
  if (start == std::string::npos) return std::string();
  size_t end = listing.find("Key path: ", start + header.size());
  return listing.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string exportedData(const std::string& key, const std::string& valueName) {
  size_t value = key.find(" " + valueName + "\n");
  size_t data = value == std::string::npos ? value : key.find("Data:", value);
  if (data == std::string::npos) return std::string();
  size_t end = key.find('\n', data);
  if (end > data + 5) return key.substr(data + 6, end - data - 6);
  std::string bytes;
  std::stringstream dump(key.substr(end + 1));
  for (std::string line; std::getline(dump, line) && line.size() > 10 && line[8] == ':';) {
    for (size_t i = 0; i < 16; ++i) {
      size_t column = 10 + i * 3 + (i >= 8 ? 1 : 0);
      if (column + 2 > line.size() || !std::isxdigit(static_cast<unsigned char>(line[column])))
        break;
      bytes.push_back(static_cast<char>(std::stoi(line.substr(column, 2), nullptr, 16)));
    }
  }
  return bytes;
}

bool hivexHasKey(const std::string& file, const std::string& keyPath) {
  std::map<std::string, std::string> values;
  return hivexValues(file, keyPath, &values);
}
