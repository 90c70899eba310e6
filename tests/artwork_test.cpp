// The committed pictures and the resource script that names them: every
// picture a window loads is there at its size, the skin's bands lie under the
// controls the main window places on them, and nothing in a picture is
// turned into a system colour or cut out of the window when it is loaded.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/support/bmp_file.h"

namespace {

const std::string kResDir = std::string(DRENVALISK_SOURCE_DIR) + "/res/";

constexpr Rgb kHeaderBlue = {2, 77, 246};
constexpr Rgb kBody = {207, 233, 254};
constexpr Rgb kWhite = {255, 255, 255};
constexpr Rgb kMagenta = {255, 0, 255};
// The greys that loading with LR_LOADMAP3DCOLORS replaces in a colour table.
const Rgb kMappedGreys[] = {{128, 128, 128}, {192, 192, 192}, {223, 223, 223}};

struct ExpectedBitmap {
  const char* name;
  int width, height, bitsPerPixel;
};

const ExpectedBitmap kExpectedBitmaps[] = {
    {"IDB_ICON_INFORMATION", 42, 40, 24}, {"IDB_ICON_QUESTION", 42, 40, 24},
    {"IDB_ICON_WARNING", 42, 40, 24},     {"IDB_ICON_ERROR", 42, 40, 24},
    {"IDB_SKIN", 527, 338, 8},
    {"SCAN_FOCUS", 180, 33, 24},          {"SCAN_NOTFOCUS", 180, 33, 24},
    {"SCAN_DISABLE", 180, 33, 24},        {"DOWNLOAD_FOCUS", 180, 33, 24},
    {"DOWNLOAD_NOTFOCUS", 180, 33, 24},   {"DOWNLOAD_DISABLE", 180, 33, 24},
    {"X_FOCUS", 21, 21, 24},              {"X_NOTFOCUS", 21, 21, 24},
    {"OK_FOCUS", 92, 24, 24},             {"OK_NOTFOCUS", 92, 24, 24},
    {"CANCEL_FOCUS", 92, 24, 24},         {"CANCEL_NOTFOCUS", 92, 24, 24},
    {"YES_FOCUS", 92, 24, 24},            {"YES_NOTFOCUS", 92, 24, 24},
    {"NO_FOCUS", 92, 24, 24},             {"NO_NOTFOCUS", 92, 24, 24},
    {"DLINK_FOCUS", 350, 43, 24},         {"DLINK_NOTFOCUS", 350, 43, 24},
    {"ULINK_FOCUS", 350, 28, 24},         {"ULINK_NOTFOCUS", 350, 28, 24},
    {"VEXMOORLOGO_FOCUS", 100, 36, 24},   {"VEXMOORLOGO_NOTFOCUS", 100, 36, 24},
};

struct Control {
  std::string text, id, className, style;
  int x, y, w, h;
};

// The resource script, read the way the resource compiler reads the parts
// that matter here: the BITMAP and ICON lines and the dialog templates.
class ResourceScript {
 public:
  ResourceScript() {
    std::ifstream in(kResDir + "drenvalisk.rc");
    std::stringstream text;
    text << in.rdbuf();
    source_ = text.str();
    const std::regex file(R"(^\s*(\w+)\s+(BITMAP|ICON)\s+\"([^\"]+)\")");
    std::istringstream lines(source_);
    for (std::string line; std::getline(lines, line);) {
      std::smatch m;
      if (std::regex_search(line, m, file)) (m[2] == "BITMAP" ? bitmaps_ : icons_)[m[1]] = m[3];
    }
  }

  const std::map<std::string, std::string>& bitmaps() const { return bitmaps_; }
  const std::map<std::string, std::string>& icons() const { return icons_; }

  // The controls of a dialog template, in template order.
  std::vector<Control> controls(const std::string& dialog) const {
    std::vector<Control> result;
    const size_t head = source_.find(dialog + " DIALOG");
    if (head == std::string::npos) return result;
    const size_t begin = source_.find("\nBEGIN", head);
    const size_t end = source_.find("\nEND", begin);
    const std::string body = source_.substr(begin, end - begin);
    const std::regex control(
        R"re(CONTROL\s+"([^"]*)"\s*,\s*(\w+)\s*,\s*"(\w+)"\s*,\s*([^,]+),\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+))re");
    for (std::sregex_iterator it(body.begin(), body.end(), control), last; it != last; ++it) {
      const std::smatch& m = *it;
      result.push_back({m[1], m[2], m[3], m[4], std::stoi(m[5]), std::stoi(m[6]),
                        std::stoi(m[7]), std::stoi(m[8])});
    }
    return result;
  }

 private:
  std::string source_;
  std::map<std::string, std::string> bitmaps_, icons_;
};

BmpImage loadBitmap(const ResourceScript& script, const std::string& name) {
  BmpImage image;
  std::string error;
  const auto found = script.bitmaps().find(name);
  if (found == script.bitmaps().end()) {
    ADD_FAILURE() << name << " is not in the resource script";
  } else if (!readBmp(kResDir + found->second, image, error)) {
    ADD_FAILURE() << error;
  }
  return image;
}

std::string describe(const Rgb& c) {
  return "(" + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]) + ")";
}

bool isOwnerDrawnButton(const Control& c) {
  return c.className == "Button" && c.style.find("BS_OWNERDRAW") != std::string::npos;
}

// Where the main window puts a control: the template is stretched to a client
// area of 600 x 337 pixels; a skinned button takes the size of its picture.
struct PixelRect {
  int left, top, right, bottom;  // right and bottom exclusive
};
PixelRect placeOnSkin(const Control& c, const BmpImage* picture) {
  PixelRect r{c.x * 600 / 349, c.y * 337 / 209, (c.x + c.w) * 600 / 349, (c.y + c.h) * 337 / 209};
  if (picture) {
    r.right = r.left + picture->width;
    r.bottom = r.top + picture->height;
  }
  return r;
}

// Counts the pixels of `image` inside `r` that are (or are not) `colour`.
int pixelsOf(const BmpImage& image, const PixelRect& r, const Rgb& colour, bool equal = true) {
  int count = 0;
  for (int y = std::max(r.top, 0); y < std::min(r.bottom, image.height); ++y)
    for (int x = std::max(r.left, 0); x < std::min(r.right, image.width); ++x)
      count += (image.at(x, y) == colour) == equal;
  return count;
}
int pixelsOtherThan(const BmpImage& image, const PixelRect& r, const Rgb& colour) {
  return pixelsOf(image, r, colour, false);
}

double saturation(const BmpImage& image) {
  double sum = 0;
  for (const Rgb& p : image.pixels) sum += *std::max_element(p.begin(), p.end()) - *std::min_element(p.begin(), p.end());
  return sum / image.pixels.size();
}

TEST(ResourceScript, NamesEveryPictureTheWindowsLoadAtItsSizeAndDepth) {
  const ResourceScript script;
  std::set<std::string> expected;
  for (const ExpectedBitmap& e : kExpectedBitmaps) {
    expected.insert(e.name);
    const BmpImage image = loadBitmap(script, e.name);
    EXPECT_EQ(image.width, e.width) << e.name;
    EXPECT_EQ(image.height, e.height) << e.name;
    EXPECT_EQ(image.bitsPerPixel, e.bitsPerPixel) << e.name;
  }
  for (const auto& [name, file] : script.bitmaps()) EXPECT_TRUE(expected.count(name)) << "unexpected " << name;

  // Each skinned button finds its pictures by its caption, in either dialog.
  for (const char* dialog : {"IDD_MAIN_DIALOG", "IDD_CONFIRM_DIALOG"}) {
    const std::vector<Control> controls = script.controls(dialog);
    EXPECT_FALSE(controls.empty()) << dialog;
    for (const Control& c : controls) {
      if (!isOwnerDrawnButton(c)) continue;
      std::string caption = c.text;
      std::transform(caption.begin(), caption.end(), caption.begin(), ::toupper);
      EXPECT_TRUE(script.bitmaps().count(caption + "_FOCUS")) << dialog << " " << c.text;
      EXPECT_TRUE(script.bitmaps().count(caption + "_NOTFOCUS")) << dialog << " " << c.text;
    }
  }
}

TEST(ResourceScript, ApplicationIconHoldsSmallAndLargeImages) {
  const ResourceScript script;
  ASSERT_TRUE(script.icons().count("IDI_APP_ICON"));
  std::vector<uint8_t> ico;
  ASSERT_TRUE(readFileBytes(kResDir + script.icons().at("IDI_APP_ICON"), ico));
  ASSERT_GE(ico.size(), 6u);
  ASSERT_EQ(ico[2] | ico[3] << 8, 1) << "not an icon file";
  const int count = ico[4] | ico[5] << 8;
  std::set<int> sizes;
  for (int i = 0; i < count; ++i) {
    const size_t entry = 6 + 16 * i;
    ASSERT_LE(entry + 16, ico.size());
    const uint32_t length = ico[entry + 8] | ico[entry + 9] << 8 | ico[entry + 10] << 16 | uint32_t(ico[entry + 11]) << 24;
    const uint32_t offset = ico[entry + 12] | ico[entry + 13] << 8 | ico[entry + 14] << 16 | uint32_t(ico[entry + 15]) << 24;
    EXPECT_LE(uint64_t(offset) + length, ico.size()) << "image " << i << " runs past the file";
    sizes.insert(ico[entry]);
  }
  EXPECT_TRUE(sizes.count(16) && sizes.count(32));
}

TEST(Skin, KeepsTheWholeWindowShapeAndItsBands) {
  const ResourceScript script;
  const BmpImage skin = loadBitmap(script, "IDB_SKIN");
  ASSERT_EQ(skin.pixels.size(), 527u * 338u);
  EXPECT_EQ(std::count(skin.pixels.begin(), skin.pixels.end(), kMagenta), 0)
      << "magenta pixels are cut out of the main window";

  EXPECT_EQ(pixelsOtherThan(skin, {260, 0, 527, 64}, kHeaderBlue), 0) << "header band";
  EXPECT_EQ(pixelsOtherThan(skin, {0, 64, 527, 108}, kBody), 0) << "body above the panel";
  EXPECT_EQ(pixelsOtherThan(skin, {6, 110, 521, 276}, kWhite), 0) << "white panel";
  EXPECT_EQ(pixelsOtherThan(skin, {0, 277, 527, 316}, kBody), 0) << "body below the panel";

  for (int x : {0, 263, 526}) {
    for (int y = 317; y < 338; ++y) {
      const Rgb above = skin.at(x, y - 1), here = skin.at(x, y);
      EXPECT_GE(here[0] + here[1] + here[2], above[0] + above[1] + above[2]) << "footer at " << x << "," << y;
      EXPECT_GT(here[2], here[0]) << "footer is not blue at " << x << "," << y;
    }
    const Rgb top = skin.at(x, 316), bottom = skin.at(x, 337);
    EXPECT_LT(top[0] + top[1] + top[2] + 150, bottom[0] + bottom[1] + bottom[2]) << "footer shade at column " << x;
    EXPECT_LT(top[0] + top[1] + top[2], kBody[0] + kBody[1] + kBody[2] - 150) << "footer top is not dark";
  }
}

// Which band of the skin each control of the main window stands on.
const std::map<std::string, Rgb> kBandUnder = {
    {"IDC_OK_BUTTON", kBody},         {"IDCANCEL", kBody},
    {"IDC_SCAN_BUTTON", kBody},       {"IDC_DOWNLOAD_BUTTON", kBody},
    {"IDC_CLOSE_BUTTON", kHeaderBlue}, {"IDC_STATUS_FRAME", kWhite},
    {"IDC_STATUS_LABEL", kWhite},     {"IDC_SEARCHING_TEXT", kWhite},
    {"IDC_FAMILY_LABEL", kHeaderBlue}, {"IDC_PRODUCT_TEXT", kWhite},
    {"IDC_MAKER_TEXT", kWhite},       {"IDC_HEADLINE_TEXT", kWhite},
    {"IDC_PRODUCT_LINK", kWhite},     {"IDC_TOOLS_LINK", kBody},
    {"IDC_LOGO_BUTTON", kBody},       {"IDC_REPORT_FRAME", kWhite},
    {"IDC_REPORT_LIST", kWhite},
};

TEST(Skin, EveryMainWindowControlStandsOnAFlatBandThatItsPictureBlendsInto) {
  const ResourceScript script;
  const BmpImage skin = loadBitmap(script, "IDB_SKIN");
  ASSERT_EQ(skin.pixels.size(), 527u * 338u);
  const std::vector<Control> controls = script.controls("IDD_MAIN_DIALOG");
  ASSERT_EQ(controls.size(), kBandUnder.size());
  for (const Control& c : controls) {
    ASSERT_TRUE(kBandUnder.count(c.id)) << c.id;
    const Rgb band = kBandUnder.at(c.id);
    BmpImage picture;
    if (isOwnerDrawnButton(c)) picture = loadBitmap(script, c.text + "_NOTFOCUS");
    const PixelRect r = placeOnSkin(c, picture.pixels.empty() ? nullptr : &picture);
    EXPECT_LE(r.right, skin.width) << c.id;
    EXPECT_LE(r.bottom, skin.height) << c.id;
    EXPECT_EQ(pixelsOtherThan(skin, r, band), 0)
        << c.id << " at " << r.left << "," << r.top << " is not wholly on " << describe(band);
    if (picture.pixels.empty()) continue;
    for (const std::string state : {"_NOTFOCUS", "_FOCUS"}) {
      const BmpImage look = loadBitmap(script, c.text + state);
      if (look.pixels.empty()) continue;
      for (const Rgb& corner : {look.at(0, 0), look.at(look.width - 1, 0), look.at(0, look.height - 1),
                                look.at(look.width - 1, look.height - 1)})
        EXPECT_EQ(corner, band) << c.text << state << " corner " << describe(corner);
    }
  }
}

TEST(ButtonPictures, FocusStandsOutAndDisabledIsGrey) {
  const ResourceScript script;
  for (const ExpectedBitmap& e : kExpectedBitmaps) {
    const std::string name = e.name;
    const size_t suffix = name.rfind("_NOTFOCUS");
    if (suffix == std::string::npos) continue;
    const std::string caption = name.substr(0, suffix);
    const BmpImage plain = loadBitmap(script, name);
    const BmpImage focus = loadBitmap(script, caption + "_FOCUS");
    ASSERT_EQ(plain.pixels.size(), focus.pixels.size()) << caption;
    long differing = 0;
    for (size_t i = 0; i < plain.pixels.size(); ++i) differing += plain.pixels[i] != focus.pixels[i];
    EXPECT_GT(differing * 20, static_cast<long>(plain.pixels.size()))
        << caption << ": the highlighted picture hardly differs from the plain one";

    if (!script.bitmaps().count(caption + "_DISABLE")) continue;
    const BmpImage disabled = loadBitmap(script, caption + "_DISABLE");
    EXPECT_LT(saturation(disabled) * 2, saturation(plain)) << caption << ": the disabled picture is not greyed";
  }
}

TEST(MessageIcons, ShowTheirSymbolOnTheDialogColourInsideThePictureControl) {
  const ResourceScript script;
  struct Icon {
    const char* name;
    Rgb symbol;  // a colour the symbol must show
  };
  const Icon icons[] = {{"IDB_ICON_INFORMATION", kWhite}, {"IDB_ICON_QUESTION", kWhite},
                        {"IDB_ICON_WARNING", {255, 204, 0}}, {"IDB_ICON_ERROR", kWhite}};
  // The picture control is 25 x 24 dialog units: 37 x 39 pixels with the usual
  // 8-point dialog font, and it shows the bitmap's top-left part.
  const PixelRect hidden = {37, 0, 42, 40};
  for (const Icon& icon : icons) {
    const BmpImage image = loadBitmap(script, icon.name);
    ASSERT_EQ(image.pixels.size(), 42u * 40u) << icon.name;
    for (const Rgb& corner : {image.at(0, 0), image.at(41, 0), image.at(0, 39), image.at(41, 39)})
      EXPECT_EQ(corner, kBody) << icon.name;
    EXPECT_EQ(pixelsOtherThan(image, hidden, kBody), 0) << icon.name << " reaches past the picture control";
    const int drawn = pixelsOtherThan(image, {0, 0, 37, 39}, kBody);
    EXPECT_GT(drawn * 3, 37 * 39) << icon.name << " shows hardly any symbol";
    EXPECT_GT(pixelsOf(image, {0, 0, 37, 39}, icon.symbol), 10)
        << icon.name << " lacks " << describe(icon.symbol);
  }
  const BmpImage error = loadBitmap(script, "IDB_ICON_ERROR");
  const Rgb centreSide = error.at(10, 19);
  EXPECT_TRUE(centreSide[0] > 180 && centreSide[1] < 90 && centreSide[2] < 90) << "error disc is not red";
}

TEST(Palettes, HoldNoGreyThatLoadingReplacesWithASystemColour) {
  const ResourceScript script;
  for (const auto& [name, file] : script.bitmaps()) {
    const BmpImage image = loadBitmap(script, name);
    for (const Rgb& entry : image.palette)
      for (const Rgb& grey : kMappedGreys) EXPECT_NE(entry, grey) << name << " holds " << describe(grey);
  }
}

}  // namespace
